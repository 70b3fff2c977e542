#include "boards/ExtendSettingText.h"

#include <cctype>
#include <charconv>

#include "base/SplitText.h"

namespace pellux {

float BoxTextToFloat(const std::string& text) {
  const char* first = text.c_str();
  const char* last = first + text.size();
  while (first != last && std::isspace(static_cast<unsigned char>(*first))) ++first;
  if (first != last && *first == '+' && first + 1 != last && first[1] != '-') ++first;
  double value = 0;
  if (std::from_chars(first, last, value).ec != std::errc()) return 0.0f;
  return static_cast<float>(value);
}

std::string FormatBoardValue(float value) {
  char buffer[512];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                    std::chars_format::fixed, 6);
  return std::string(buffer, result.ptr);
}

std::string SetCommandText(int command, const std::vector<float>& values) {
  std::string text = std::to_string(command);
  for (const float value : values) text += "," + FormatBoardValue(value);
  return text;
}

std::optional<std::vector<std::string>> AnswerFields(const std::string& answer,
                                                     const std::string& key, size_t fieldCount) {
  std::vector<std::string> fields = SplitText(answer, '/');
  if (fields.size() != fieldCount || fields.front() != key) return std::nullopt;
  fields.erase(fields.begin());
  return fields;
}

}  // namespace pellux
