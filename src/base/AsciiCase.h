#pragma once

#include <string>
#include <string_view>

namespace pellux {

// Case rules for names (modes, ports, keys, extensions, INI sections): ASCII
// letters only, whatever the locale says, so bytes above 0x7F stay as they are.

constexpr char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

}  // namespace pellux
