#pragma once

#include <windows.h>

namespace pellux {

// The numeric box on Win32: an edit control whose window procedure is
// replaced so that every typed character (WM_CHAR) passes FloatEditAccepts
// first. Key-down and key-up messages, pasting and everything else stay
// with the control.
class CFloatEdit {
 public:
  // Filters `edit` from now until the control is destroyed.
  static bool Attach(HWND edit);

 private:
  static LRESULT CALLBACK FilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace pellux
