#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pellux {

// The parsed text of an INI file with the lookup rules of the Windows
// profile-string functions: section and key names match without regard to
// case, the first match wins, blanks around names and values are trimmed, a
// value enclosed in matching quotes loses them, lines starting with ';' are
// comments, lines before the first section and lines without '=' hold no key.
class IniDocument {
 public:
  IniDocument() = default;
  explicit IniDocument(std::string_view text);

  // The value of the first matching key in the first section of that name.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  // Every section name in file order.
  std::vector<std::string> SectionNames() const;

 private:
  struct Key {
    std::string name;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Key> keys;
  };
  std::vector<Section> sections_;
  // Lower-case section name to the first section of that name, so a lookup
  // does not walk every section of a map with thousands of them.
  std::unordered_map<std::string, size_t> firstSection_;
};

}  // namespace pellux
