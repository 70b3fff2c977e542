#include "boards/ui/win32/CFloatEdit.h"

#include <string>

#include "boards/FloatEditFilter.h"

namespace pellux {

namespace {
// The control's own window procedure, kept with the control.
constexpr const wchar_t* kControlProcedure = L"PelluxFloatEditProc";

std::u16string TextOf(HWND edit) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
  return std::u16string(text.begin(), text.end());
}
}  // namespace

bool CFloatEdit::Attach(HWND edit) {
  if (edit == nullptr || GetPropW(edit, kControlProcedure) != nullptr) return false;
  const LONG_PTR previous =
      SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CFloatEdit::FilterProc));
  if (previous == 0) return false;
  SetPropW(edit, kControlProcedure, reinterpret_cast<HANDLE>(previous));
  return true;
}

LRESULT CALLBACK CFloatEdit::FilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto control = reinterpret_cast<WNDPROC>(GetPropW(edit, kControlProcedure));
  if (message == WM_CHAR) {
    DWORD from = 0;
    DWORD to = 0;
    CallWindowProcW(control, edit, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                    reinterpret_cast<LPARAM>(&to));
    if (!FloatEditAccepts(TextOf(edit), from, to, static_cast<char16_t>(wParam))) return 0;
  } else if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(control));
    RemovePropW(edit, kControlProcedure);
  }
  return CallWindowProcW(control, edit, message, wParam, lParam);
}

}  // namespace pellux
