#include "app/ui/win32/DialogText.h"

#include <windows.h>

#include "net/win32/WideText.h"

namespace pellux {

std::wstring ShownText(std::string_view text) {
  std::wstring wide = ToWide(text);
  if (!wide.empty() || text.empty()) return wide;
  const int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return {};
  wide.assign(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

int PlaceStatusLine(HWND dialog, int id, const std::string& text, int top) {
  const HWND line = GetDlgItem(dialog, id);
  if (text.empty()) {
    ShowWindow(line, SW_HIDE);
    return 0;
  }
  const std::wstring shown = ShownText(text);
  RECT rect;
  GetWindowRect(line, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  RECT measured{0, 0, rect.right - rect.left, 0};
  const HDC context = GetDC(line);
  const HGDIOBJ previous =
      SelectObject(context, reinterpret_cast<HFONT>(SendMessageW(line, WM_GETFONT, 0, 0)));
  DrawTextW(context, shown.c_str(), -1, &measured, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(context, previous);
  ReleaseDC(line, context);
  SetWindowTextW(line, shown.c_str());
  SetWindowPos(line, nullptr, rect.left, top, rect.right - rect.left, measured.bottom,
               SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(line, SW_SHOWNA);
  return measured.bottom;
}

void ShowMessage(HWND owner, const std::string& text, MessageIcon icon) {
  UINT style = MB_OK;
  if (icon == MessageIcon::Warning) style |= MB_ICONWARNING;
  if (icon == MessageIcon::Stop) style |= MB_ICONSTOP;
  MessageBoxA(owner, text.c_str(), kMessageCaption, style);
}

}  // namespace pellux
