#include "net/win32/SystemMessage.h"

#include <wininet.h>

#include "net/win32/WideText.h"

namespace pellux {

std::string SystemMessage(DWORD code) {
  wchar_t message[256] = L"";
  const bool internetCode = code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST;
  const DWORD source = internetCode ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
  FormatMessageW(source | FORMAT_MESSAGE_IGNORE_INSERTS,
                 internetCode ? GetModuleHandleW(L"wininet.dll") : nullptr, code,
                 MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), message, 256, nullptr);
  std::string text = FromWide(message);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

}  // namespace pellux
