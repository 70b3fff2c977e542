#include <cstdint>
#include <optional>
#include <string_view>

#include "serial/PortNames.h"

namespace pellux {

namespace {
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Base-10 text-to-int: leading blanks and a sign allowed, text after the
// digits ignored; nothing when there are no digits or the value leaves the
// 32-bit range.
std::optional<int32_t> LeadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::string_view NumberPart(std::string_view name) {
  return name.starts_with("COM") ? name.substr(3) : name;
}
}  // namespace

bool ComPortLess(const std::string& a, const std::string& b) {
  const auto numberA = LeadingNumber(NumberPart(a));
  const auto numberB = LeadingNumber(NumberPart(b));
  if (numberA && numberB) return *numberA < *numberB;
  return a < b;  // std::string compares as unsigned bytes
}

void SortPortNames(std::vector<std::string>& names) {
  // Insertion sort: stable, and well-defined even where the order is not
  // transitive (std::sort would not be).
  for (size_t i = 1; i < names.size(); ++i) {
    for (size_t j = i; j > 0 && ComPortLess(names[j], names[j - 1]); --j) {
      std::swap(names[j], names[j - 1]);
    }
  }
}

}  // namespace pellux
