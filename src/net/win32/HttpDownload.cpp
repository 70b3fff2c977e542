#include "net/HttpDownload.h"

#include <windows.h>
#include <wininet.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/FileHandle.h"
#include "base/JobConsole.h"
#include "net/DownloadProgress.h"
#include "net/ServerFailure.h"
#include "net/win32/InternetSession.h"
#include "net/win32/SystemMessage.h"
#include "net/win32/WideText.h"

namespace pellux {

namespace {
constexpr DWORD kReadSize = 4096;
constexpr size_t kHostLength = 1024;
constexpr size_t kPathLength = 2048;

using File = FileHandle;

// "<text> Error: <code> - <system message> (<url>). Check ...", or the text
// alone without an error code; a time-out has a line of its own.
void ReportLastError(JobConsole& console, const char* text, const std::string& url) {
  const DWORD code = GetLastError();
  if (code == ERROR_INTERNET_TIMEOUT) {
    console.Printf("%s\n", StalledTransferLine(url).c_str());
    return;
  }
  const std::string end = ServerFailureEnd(url, ServerCheck::Reachable);
  if (code == 0) {
    console.Printf("%s%s\n", text, end.c_str());
    return;
  }
  console.Printf("%s Error: %lu - %s%s\n", text, static_cast<unsigned long>(code),
                 SystemMessage(code).c_str(), end.c_str());
}

// A numeric header of the reply; false when the reply has none.
bool QueryNumber(HINTERNET request, DWORD query, DWORD& value) {
  DWORD size = sizeof value;
  return HttpQueryInfoW(request, query | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr) != FALSE;
}

void ReportWriteFailure(JobConsole& console) {
  console.Write("\nError writing to file. Disk full or other I/O error?\n");
}

bool ReportCancelled(JobConsole& console, const DownloadProgress& progress) {
  console.Printf("%sDownload cancelled.\n", progress.begun() ? "\n" : "");
  return false;
}
}  // namespace

bool DownloadFile(const std::string& url, const std::string& localPath, const CancelToken& cancel,
                  JobConsole& console) {
  // The local file first: a path that cannot be written costs no network access.
  File file(_wfopen(ToWide(localPath).c_str(), L"wb"));
  if (!file) {
    const int error = errno;
    console.Printf("Download file open failed for: %s. Error code: %d (%s)\n", localPath.c_str(),
                   error, std::strerror(error));
    return false;
  }
  DownloadProgress progress(localPath, console);

  InternetSession session(L"Tarnwick_Webget/1.0", cancel);
  if (session.root() == nullptr) {
    ReportLastError(console, "InternetOpen failed.", url);
    return false;
  }

  std::wstring wideUrl = ToWide(url);
  wchar_t host[kHostLength] = L"";
  wchar_t path[kPathLength] = L"";
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = kHostLength;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = kPathLength;
  if (wideUrl.empty() || !InternetCrackUrlW(wideUrl.c_str(), 0, 0, &parts) ||
      (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
    ReportLastError(console, "InternetCrackUrlW failed.", url);
    return false;
  }

  HINTERNET connection =
      session.Adopt(InternetConnectW(session.root(), host, parts.nPort, nullptr, nullptr,
                                     INTERNET_SERVICE_HTTP, 0, session.context()));
  if (connection == nullptr) {
    ReportLastError(console, "InternetConnect failed.", url);
    return false;
  }
  const wchar_t* accepted[] = {L"*/*", nullptr};
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  HINTERNET request = session.Adopt(HttpOpenRequestW(connection, L"GET", path, nullptr, nullptr,
                                                     accepted, flags, session.context()));
  if (request == nullptr) {
    ReportLastError(console, "HttpOpenRequest failed.", url);
    return false;
  }
  // Ask every cache on the way for a fresh copy.
  const wchar_t* noCache = L"Cache-Control: no-cache\r\nPragma: no-cache\r\n";
  if (!session.Complete(HttpSendRequestW(request, noCache, static_cast<DWORD>(-1), nullptr, 0))) {
    if (session.Cancelled()) return ReportCancelled(console, progress);
    ReportLastError(console, "HttpSendRequest failed.", url);
    return false;
  }
  // An error status (400 and above) is a failed download, not a file.
  DWORD status = 0;
  if (QueryNumber(request, HTTP_QUERY_STATUS_CODE, status) && status >= 400) {
    console.Printf("Download failed: the server answered HTTP status %lu%s\n",
                   static_cast<unsigned long>(status),
                   ServerFailureEnd(url, ServerCheck::Holds).c_str());
    return false;
  }
  DWORD length = 0;
  progress.Begin(QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, length) ? length : -1);

  for (;;) {
    std::string_view data;
    const bool read = session.Read(request, kReadSize, data);
    if (session.Cancelled()) return ReportCancelled(console, progress);
    if (!read) {
      // Broken off: what arrived is not the whole file.
      console.Write("\n");
      ReportLastError(console, "InternetReadFile failed during download.", url);
      return false;
    }
    if (data.empty()) break;
    if (std::fwrite(data.data(), 1, data.size(), file.get()) != data.size()) {
      ReportWriteFailure(console);
      return false;
    }
    progress.Received(data.size());
  }
  // A reply shorter than it announced was cut short.
  if (length > 0 && progress.total() < length) {
    console.Printf(
        "\nInternetReadFile failed during download. Error: the connection ended after "
        "%lu of %lu bytes%s\n",
        static_cast<unsigned long>(progress.total()), static_cast<unsigned long>(length),
        ServerFailureEnd(url, ServerCheck::Reachable).c_str());
    return false;
  }
  // Buffered bytes that cannot reach the disk are a write failure too.
  if (std::fflush(file.get()) != 0) {
    ReportWriteFailure(console);
    return false;
  }
  progress.Complete();
  return true;
}

}  // namespace pellux
