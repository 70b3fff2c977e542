#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/IniDocument.h"

namespace pellux {

// Reader of one INI file with the lookup rules of the Windows profile-string
// functions: section and key names match without regard to case, the first
// match wins, blanks around names and values are trimmed, a value enclosed in
// matching quotes loses them. Lines starting with ';' are comments. Every
// call sees the file as it is now: it is parsed again whenever its size or
// modification time has changed, so reading a map of thousands of sections
// parses it once, not once per value. A missing file, section or key gives
// the default. A null section or key also gives the default.
class CIni {
 public:
  // Default that HasKey reads with: no real value is expected to look like it.
  static constexpr char KeyAbsentSentinel[] = "{63788286-AE30-4D6B-95DF-3B451C1C79F9}";

  // The path may be absent; such a reader answers every call with defaults.
  explicit CIni(std::optional<std::string> path);
  virtual ~CIni();

  // The value of `key` in `section`, else `defaultValue` (empty when null).
  std::string GetString(const char* section, const char* key,
                        const char* defaultValue = nullptr) const;
  void GetString(const char* section, const char* key, const char* defaultValue,
                 std::string& out) const;

  // The value converted as an unsigned number in `base` (2, 8 or 16; any
  // other base means 10) with strtoul's rules; an empty or absent value
  // gives `defaultValue`.
  uint32_t GetUInt(const char* section, const char* key, uint32_t defaultValue, int base) const;

  // Empties `names`, then appends every section name in file order.
  void GetSectionNames(std::vector<std::string>& names) const;

  // True when the key is present with a value other than KeyAbsentSentinel.
  bool HasKey(const char* section, const char* key) const;

  // The conversion GetUInt applies: strtoul's rules in a 32-bit unsigned
  // (leading blanks and a sign accepted, stops at the first non-digit, "0x"
  // accepted in base 16, too large a number gives 0xFFFFFFFF, nothing gives 0).
  static uint32_t ConvertUInt(const std::string& text, int base);

 private:
  // The file's current content, parsed again only when it has changed.
  std::shared_ptr<const IniDocument> Document() const;

  std::optional<std::string> path_;
  mutable std::mutex cacheMutex_;
  mutable std::shared_ptr<const IniDocument> cached_;
  mutable uintmax_t cachedSize_ = 0;
  mutable std::filesystem::file_time_type cachedTime_;
};

}  // namespace pellux
