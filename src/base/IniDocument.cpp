#include "base/IniDocument.h"

#include "base/AsciiCase.h"

namespace pellux {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

IniDocument::IniDocument(std::string_view rest) {
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
      sections_.push_back(Section{std::string(Trim(name)), {}});
      firstSection_.try_emplace(LowerAscii(sections_.back().name), sections_.size() - 1);
      continue;
    }
    const size_t equals = line.find('=');
    if (sections_.empty() || equals == std::string_view::npos) continue;
    sections_.back().keys.push_back(Key{std::string(Trim(line.substr(0, equals))),
                                        std::string(Unquote(Trim(line.substr(equals + 1))))});
  }
}

std::optional<std::string> IniDocument::Find(std::string_view section, std::string_view key) const {
  const auto found = firstSection_.find(LowerAscii(section));
  if (found == firstSection_.end()) return std::nullopt;
  const std::string wanted = LowerAscii(key);
  for (const Key& entry : sections_[found->second].keys) {
    if (entry.name.size() == wanted.size() && LowerAscii(entry.name) == wanted) return entry.value;
  }
  return std::nullopt;
}

std::vector<std::string> IniDocument::SectionNames() const {
  std::vector<std::string> names;
  names.reserve(sections_.size());
  for (const Section& section : sections_) names.push_back(section.name);
  return names;
}

}  // namespace pellux
