#pragma once

#include <string>

class QLabel;

namespace pellux {

// The status line under a dialog's controls: hidden while `text` is empty;
// otherwise word-wrapped across its width, `gap` below the pixel row
// `below`, and reaching down to `margin` past its text, so that it covers
// whatever lies beyond the window's edge. Returns how much taller the window
// must be to show it: 0 when hidden.
int PlaceStatusLine(QLabel& label, const std::string& text, int below, int gap, int margin);

}  // namespace pellux
