#include "base/Ini.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <string_view>

namespace pellux {

CIni::CIni(std::optional<std::string> path) : path_(std::move(path)) {}

CIni::~CIni() = default;

std::shared_ptr<const IniDocument> CIni::Document() const {
  static const auto kEmpty = std::make_shared<const IniDocument>();
  if (!path_) return kEmpty;
  std::error_code sizeError, timeError;
  const uintmax_t size = std::filesystem::file_size(*path_, sizeError);
  const auto modified = std::filesystem::last_write_time(*path_, timeError);
  // A missing or unreadable file reads as empty.
  if (sizeError || timeError) return kEmpty;
  std::lock_guard lock(cacheMutex_);
  if (cached_ && cachedSize_ == size && cachedTime_ == modified) return cached_;
  std::ifstream in(*path_, std::ios::binary);
  if (!in) return kEmpty;
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  cached_ = std::make_shared<const IniDocument>(content);
  cachedSize_ = size;
  cachedTime_ = modified;
  return cached_;
}

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
  std::optional<std::string> value = Document()->Find(section, key);
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
  names = Document()->SectionNames();
}

bool CIni::HasKey(const char* section, const char* key) const {
  if (section == nullptr || key == nullptr) return false;
  return GetString(section, key, KeyAbsentSentinel) != KeyAbsentSentinel;
}

}  // namespace pellux
