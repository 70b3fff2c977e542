#include "base/Ini.h"

#include "base/AsciiCase.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <string_view>

namespace {

struct IniKey {
  std::string name;
  std::string value;
};

struct IniSection {
  std::string name;
  std::vector<IniKey> keys;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  return EqualsIgnoringAsciiCase(a, b);
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The whole file, parsed. A missing or unreadable file reads as empty.
std::vector<IniSection> ReadIniFile(const std::optional<std::string>& path) {
  std::vector<IniSection> sections;
  if (!path) return sections;
  std::ifstream in(*path, std::ios::binary);
  if (!in) return sections;
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  std::string_view rest = content;
  if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
  while (!rest.empty()) {
    const size_t end = rest.find_first_of("\r\n");
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);

    line = Trim(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      const std::string_view name =
          close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1);
      sections.push_back(IniSection{std::string(Trim(name)), {}});
      continue;
    }
    const size_t equals = line.find('=');
    // Lines before the first section, and lines without '=', hold no key.
    if (sections.empty() || equals == std::string_view::npos) continue;
    sections.back().keys.push_back(IniKey{std::string(Trim(line.substr(0, equals))),
                                          std::string(Unquote(Trim(line.substr(equals + 1))))});
  }
  return sections;
}

// The value of the first matching key in the first matching section.
std::optional<std::string> FindValue(const std::optional<std::string>& path, const char* section,
                                     const char* key) {
  for (const IniSection& candidate : ReadIniFile(path)) {
    if (!SameName(candidate.name, section)) continue;
    for (const IniKey& entry : candidate.keys) {
      if (SameName(entry.name, key)) return entry.value;
    }
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

CIni::CIni(std::optional<std::string> path) : path_(std::move(path)) {}

CIni::~CIni() = default;

std::string CIni::GetString(const char* section, const char* key, const char* defaultValue) const {
  std::string out;
  GetString(section, key, defaultValue, out);
  return out;
}

void CIni::GetString(const char* section, const char* key, const char* defaultValue,
                     std::string& out) const {
  const std::string fallback = defaultValue != nullptr ? defaultValue : "";
  if (section == nullptr || key == nullptr) {
    out = fallback;
    return;
  }
  std::optional<std::string> value = FindValue(path_, section, key);
  out = value ? std::move(*value) : fallback;
}

uint32_t CIni::GetUInt(const char* section, const char* key, uint32_t defaultValue,
                       int base) const {
  std::string text = GetString(section, key);
  if (text.size() > 64) text.resize(64);
  if (text.empty()) return defaultValue;
  return ConvertUInt(text, base);
}

uint32_t CIni::ConvertUInt(const std::string& text, int base) {
  if (base != 2 && base != 8 && base != 16) base = 10;
  size_t start = 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  bool negative = false;
  if (start < text.size() && (text[start] == '-' || text[start] == '+')) {
    negative = text[start] == '-';
    ++start;
  }
  // After the sign only digits may follow; strtoull would skip more blanks and signs.
  if (start < text.size() && (text[start] == '-' || text[start] == '+' ||
                              std::isspace(static_cast<unsigned char>(text[start])))) {
    return 0;
  }
  const char* digits = text.c_str() + start;
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::strtoull(digits, &end, base);
  if (end == digits) return 0;
  constexpr uint32_t kMax = std::numeric_limits<uint32_t>::max();
  if (errno == ERANGE || parsed > kMax) return kMax;
  const uint32_t value = static_cast<uint32_t>(parsed);
  return negative ? static_cast<uint32_t>(0u - value) : value;
}

void CIni::GetSectionNames(std::vector<std::string>& names) const {
  names.clear();
  for (IniSection& section : ReadIniFile(path_)) names.push_back(std::move(section.name));
}

bool CIni::HasKey(const char* section, const char* key) const {
  if (section == nullptr || key == nullptr) return false;
  return GetString(section, key, KeyAbsentSentinel) != KeyAbsentSentinel;
}
