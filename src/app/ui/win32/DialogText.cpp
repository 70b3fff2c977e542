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

void ShowMessage(HWND owner, const std::string& text, MessageIcon icon) {
  UINT style = MB_OK;
  if (icon == MessageIcon::Warning) style |= MB_ICONWARNING;
  if (icon == MessageIcon::Stop) style |= MB_ICONSTOP;
  MessageBoxA(owner, text.c_str(), kMessageCaption, style);
}

}  // namespace pellux
