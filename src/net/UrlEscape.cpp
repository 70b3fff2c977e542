#include "net/UrlEscape.h"

#include <string_view>

namespace pellux {

namespace {
// Letters, digits, "-._~", the separator '/' and the sub-delimiters that
// mean nothing inside a query value.
bool CarriedAsItIs(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("-._~/!$'()*,;:=@").find(static_cast<char>(c)) != std::string_view::npos;
}
}  // namespace

std::string EscapeUrlValue(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size());
  for (unsigned char c : text) {
    if (CarriedAsItIs(c)) {
      escaped += static_cast<char>(c);
    } else {
      escaped += '%';
      escaped += kHex[c >> 4];
      escaped += kHex[c & 0x0F];
    }
  }
  return escaped;
}

}  // namespace pellux
