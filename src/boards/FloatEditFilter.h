#pragma once

#include <cstddef>
#include <string_view>

namespace pellux {

// The numeric box's judgement of one typed character. `text` is the box's
// text and [selectionStart, selectionEnd) the selected part (equal for a bare
// caret), in UTF-16 code units as both toolkits count them. Backspace always
// passes. A digit, '.' or '-' passes when the text as it will be after the key
// (the selection replaced by it) still reads as the start of a decimal
// number: an optional leading '-', digits and at most one '.'. Everything
// else is discarded, the control characters of copy, cut and paste included.
bool FloatEditAccepts(std::u16string_view text, size_t selectionStart, size_t selectionEnd,
                      char16_t character);

// True for "", "-", ".", "-12", "12.", "-.5", "1.25"; false for "1-2", "1.2.3", "a".
bool IsDecimalNumberStart(std::u16string_view text);

}  // namespace pellux
