#include "flash/FlashLoaderTokens.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <iterator>
#include <string_view>

namespace pellux {

namespace {
template <size_t N>
bool OneOf(const std::string& text, const char* const (&words)[N]) {
  return std::any_of(std::begin(words), std::end(words),
                     [&](const char* word) { return text == word; });
}

}  // namespace

bool IsFlashLoaderOption(const std::string& text) {
  static const char* const kOptions[] = {"-?", "-c", "-i", "-e", "-u",   "-d",
                                         "-v", "-p", "-r", "-o", "-Rts", "-Dtr"};
  return OneOf(text, kOptions);
}

bool IsFlashLoaderSubOption(const std::string& text) {
  static const char* const kSubOptions[] = {
      "--pn",   "--br",   "--db",   "--pr",   "--sb",   "--ec",  "--co",   "--to",    "--lcs",
      "--all",  "--sec",  "--a",    "--s",    "--fn",   "--v",   "--o",    "--erp",   "--drp",
      "--ewp",  "--dwp",  "--get",  "--set",  "--vals", "--RDP", "--User", "--Data0", "--Data1",
      "--WRP0", "--WRP1", "--WRP2", "--WRP3", "--Hi",   "--Lo",  "--State"};
  return OneOf(text, kSubOptions);
}

bool IsFlashLoaderValue(const std::string& text) {
  return !IsFlashLoaderOption(text) && !IsFlashLoaderSubOption(text);
}

uint32_t ParseDecimal(const std::string& text) {
  // Only leading digits count: no sign, no blanks.
  size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  if (digits == 0) return 0;
  return static_cast<uint32_t>(std::strtoull(text.substr(0, digits).c_str(), nullptr, 10));
}

std::optional<uint32_t> ParseHex(const std::string& text, uint32_t maximum) {
  std::string_view digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
    digits.remove_prefix(2);
  uint64_t value = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
      value > maximum)
    return std::nullopt;
  return static_cast<uint32_t>(value);
}

float ParseFraction(const std::string& text) {
  float value = 0;
  const char* first = text.c_str();
  if (std::from_chars(first, first + text.size(), value).ec != std::errc()) return 0;
  return value;
}

int ParseParity(const std::string& text) {
  if (text == "NONE") return 0;
  if (text == "ODD") return 1;
  return 2;
}

int ParseEchoMode(const std::string& text) {
  if (text == "ECHO") return 1;
  if (text == "LISTEN") return 2;
  return 0;
}

bool ParseOnOff(const std::string& text) {
  return text == "ON";
}

}  // namespace pellux
