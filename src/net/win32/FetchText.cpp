#include <windows.h>
#include <wininet.h>

#include "base/JobConsole.h"
#include "net/ReplyText.h"
#include "net/ServerFailure.h"
#include "net/ServerFiles.h"
#include "net/win32/InternetSession.h"
#include "net/win32/SystemMessage.h"

namespace pellux {

namespace {
constexpr DWORD kChunkSize = 1024;

void ReportFailure(JobConsole& console, const std::string& url, DWORD error) {
  if (error == ERROR_INTERNET_TIMEOUT) {
    console.Printf("Fail access to server. %s\r\n", StalledTransferLine(url).c_str());
  } else {
    console.Printf("Fail access to server. %s%s\r\n", SystemMessage(error).c_str(),
                   ServerFailureEnd(url, ServerCheck::Reachable).c_str());
  }
}
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
  const DWORD error = GetLastError();
  if (session.Cancelled()) return {};
  if (reply == nullptr) {
    ReportFailure(console, url, error);
    return {};
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  // An error page instead of the text must never pass for a machine list or
  // a digest.
  if (!HttpQueryInfoA(reply, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      nullptr)) {
    ReportFailure(console, url, GetLastError());
    return {};
  }
  if (status >= 400) {
    console.Printf("Fail access to server. It answered HTTP status %lu%s\r\n",
                   static_cast<unsigned long>(status),
                   ServerFailureEnd(url, ServerCheck::Holds).c_str());
    return {};
  }
  ReplyText text;
  std::string_view chunk;
  // A reply broken off keeps what arrived, as a shorter text; one that
  // stalls is a failure.
  bool read = true;
  while ((read = session.Read(reply, kChunkSize, chunk)) && !chunk.empty()) {
    if (!text.Add(chunk)) break;
  }
  if (session.Cancelled()) return {};
  if (!read && GetLastError() == ERROR_INTERNET_TIMEOUT) {
    ReportFailure(console, url, ERROR_INTERNET_TIMEOUT);
    return {};
  }
  return text.Finish();
}

}  // namespace pellux
