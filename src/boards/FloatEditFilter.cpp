#include "boards/FloatEditFilter.h"

#include <algorithm>
#include <string>

namespace pellux {

namespace {
constexpr char16_t kBackspace = 0x08;

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}
}  // namespace

bool IsDecimalNumberStart(std::u16string_view text) {
  size_t i = 0;
  if (i < text.size() && text[i] == u'-') ++i;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (IsDigit(text[i])) continue;
    if (text[i] != u'.' || point) return false;
    point = true;
  }
  return true;
}

bool FloatEditAccepts(std::u16string_view text, size_t selectionStart, size_t selectionEnd,
                      char16_t character) {
  if (character == kBackspace) return true;
  if (!IsDigit(character) && character != u'.' && character != u'-') return false;
  const size_t from = std::min({selectionStart, selectionEnd, text.size()});
  const size_t to = std::min(std::max(selectionStart, selectionEnd), text.size());
  std::u16string after(text.substr(0, from));
  after += character;
  after += text.substr(to);
  return IsDecimalNumberStart(after);
}

}  // namespace pellux
