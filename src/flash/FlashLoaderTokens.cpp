#include "flash/FlashLoaderTokens.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>

namespace {
template <size_t N>
bool OneOf(const std::string& text, const char* const (&words)[N]) {
  return std::any_of(std::begin(words), std::end(words),
                     [&](const char* word) { return text == word; });
}

uint32_t ParseUnsigned(const std::string& text, int base) {
  // Only leading digits count: no sign, no blanks, no 0x prefix.
  size_t digits = 0;
  while (digits < text.size() &&
         (base == 16 ? std::isxdigit(static_cast<unsigned char>(text[digits]))
                     : std::isdigit(static_cast<unsigned char>(text[digits]))))
    ++digits;
  if (digits == 0) return 0;
  return static_cast<uint32_t>(std::strtoull(text.substr(0, digits).c_str(), nullptr, base));
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
      "--WRP0", "--WRP1", "--WRP2", "--WRP3", "--Hi",   "--Lo"};
  return OneOf(text, kSubOptions);
}

uint32_t ParseDecimal(const std::string& text) {
  return ParseUnsigned(text, 10);
}

uint32_t ParseHex(const std::string& text) {
  return ParseUnsigned(text, 16);
}

float ParseFraction(const std::string& text) {
  return std::strtof(text.c_str(), nullptr);
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
