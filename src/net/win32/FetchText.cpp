#include <windows.h>
#include <wininet.h>

#include "base/JobConsole.h"
#include "net/ReplyText.h"
#include "net/ServerFiles.h"
#include "net/win32/InternetSession.h"

namespace pellux {

namespace {
constexpr DWORD kChunkSize = 1024;
}  // namespace

std::string FetchText(const std::string& url, const CancelToken& cancel, JobConsole& console) {
  InternetSession session(L"FirmwareUpdate", cancel);
  if (session.root() == nullptr) {
    console.Write("Fail internet access.\r\n");
    return {};
  }
  const char* noCache = "Cache-Control: no-cache\r\nPragma: no-cache\r\n";
  HINTERNET reply = session.Adopt(session.CompleteHandle(
      InternetOpenUrlA(session.root(), url.c_str(), noCache, static_cast<DWORD>(-1),
                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, session.context())));
  if (session.Cancelled()) return {};
  DWORD status = 0;
  DWORD size = sizeof status;
  // No reply at all, or an error page instead of the text: an error page must
  // never pass for a machine list or a digest.
  if (reply == nullptr ||
      !HttpQueryInfoA(reply, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      nullptr) ||
      status >= 400) {
    console.Write("Fail access to server.\r\n");
    return {};
  }
  ReplyText text;
  std::string_view chunk;
  // A reply broken off keeps what arrived, as a shorter text.
  while (session.Read(reply, kChunkSize, chunk) && !chunk.empty()) {
    if (!text.Add(chunk)) break;
  }
  if (session.Cancelled()) return {};
  return text.Finish();
}

}  // namespace pellux
