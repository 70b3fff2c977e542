#include "net/HttpDownload.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/Cancellation.h"
#include "base/FileHandle.h"
#include "base/JobConsole.h"
#include "net/DownloadProgress.h"
#include "net/ServerFailure.h"
#include "net/posix/CurlHandles.h"
#include "net/posix/CurlTransfer.h"

namespace pellux {

namespace {
using File = FileHandle;

struct Transfer {
  CURL* easy;
  std::FILE* file;
  DownloadProgress progress;
  bool writeFailed = false;
};

// Called for each header line; the empty line ends a reply's headers.
size_t OnHeader(char* data, size_t size, size_t count, void* context) {
  auto& transfer = *static_cast<Transfer*>(context);
  const size_t length = size * count;
  const bool endOfHeaders =
      (length == 2 && data[0] == '\r' && data[1] == '\n') || (length == 1 && data[0] == '\n');
  if (!endOfHeaders || transfer.progress.begun()) return length;
  long status = 0;
  curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
  char* redirect = nullptr;
  curl_easy_getinfo(transfer.easy, CURLINFO_REDIRECT_URL, &redirect);
  // Interim replies, redirections being followed and error replies carry no file.
  if (status < 200 || status >= 400 || (status >= 300 && redirect != nullptr)) return length;
  curl_off_t contentLength = -1;
  curl_easy_getinfo(transfer.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &contentLength);
  transfer.progress.Begin(contentLength);
  return length;
}

size_t OnBody(char* data, size_t size, size_t count, void* context) {
  auto& transfer = *static_cast<Transfer*>(context);
  const size_t length = size * count;
  if (!transfer.progress.begun()) transfer.progress.Begin(-1);
  if (std::fwrite(data, 1, length, transfer.file) != length) {
    transfer.writeFailed = true;
    return 0;  // ends the transfer with a write error
  }
  transfer.progress.Received(length);
  return length;
}

void ReportError(JobConsole& console, const char* text, CURLcode code, const char* detail,
                 const std::string& url) {
  const char* message = detail[0] != '\0' ? detail : curl_easy_strerror(code);
  console.Printf("%s Error: %lu - %s%s\n", text, static_cast<unsigned long>(code), message,
                 ServerFailureEnd(url, ServerCheck::Reachable).c_str());
}

void ReportWriteFailure(JobConsole& console) {
  console.Write("\nError writing to file. Disk full or other I/O error?\n");
}
}  // namespace

bool DownloadFile(const std::string& url, const std::string& localPath, const CancelToken& cancel,
                  JobConsole& console) {
  // The local file first: a path that cannot be written costs no network access.
  File file(std::fopen(localPath.c_str(), "wb"));
  if (!file) {
    const int error = errno;
    console.Printf("Download file open failed for: %s. Error code: %d (%s)\n", localPath.c_str(),
                   error, std::strerror(error));
    return false;
  }

  CurlEasy easy = NewCurlEasy();
  CurlHeaderList headers(NewNoCacheHeaders());
  if (!easy || !headers) {
    console.Printf("%s\n", "InternetOpen failed.");
    return false;
  }
  CURLU* parsed = curl_url();
  const bool urlValid = parsed != nullptr && curl_url_set(parsed, CURLUPART_URL, url.c_str(),
                                                          CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK;
  curl_url_cleanup(parsed);
  if (!urlValid) {
    ReportError(console, "InternetCrackUrlW failed.", CURLE_URL_MALFORMAT, "", url);
    return false;
  }

  Transfer transfer{easy.get(), file.get(), DownloadProgress(localPath, console)};
  char detail[CURL_ERROR_SIZE] = "";
  SetServerRequestOptions(easy.get(), "Tarnwick_Webget/1.0", headers.get(), cancel);
  curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_ERRORBUFFER, detail);
  // An error status (400 and above) is a failed download, not a file.
  curl_easy_setopt(easy.get(), CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(easy.get(), CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(easy.get(), CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &transfer);

  const CURLcode result = PerformCancellableTransfer(easy.get(), cancel);
  const char* lineBreak = transfer.progress.begun() ? "\n" : "";

  if (result == CURLE_ABORTED_BY_CALLBACK || cancel.IsCancelled()) {
    console.Printf("%sDownload cancelled.\n", lineBreak);
    return false;
  }
  if (transfer.writeFailed) {
    ReportWriteFailure(console);
    return false;
  }
  switch (result) {
    case CURLE_OK:
      break;
    case CURLE_HTTP_RETURNED_ERROR: {
      long status = 0;
      curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
      console.Printf("%sDownload failed: the server answered HTTP status %ld%s\n", lineBreak,
                     status, ServerFailureEnd(url, ServerCheck::Holds).c_str());
      return false;
    }
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      ReportError(console, "InternetCrackUrlW failed.", result, detail, url);
      return false;
    case CURLE_OPERATION_TIMEDOUT:
      console.Printf("%s%s\n", lineBreak, StalledTransferLine(url).c_str());
      return false;
    default:
      if (transfer.progress.begun()) {
        // Cut short or broken off: what arrived is not the whole file.
        console.Write("\n");
        ReportError(console, "InternetReadFile failed during download.", result, detail, url);
      } else {
        ReportError(console, "HttpSendRequest failed.", result, detail, url);
      }
      return false;
  }

  if (!transfer.progress.begun()) transfer.progress.Begin(-1);
  // Buffered bytes that cannot reach the disk are a write failure too.
  if (std::fflush(file.get()) != 0) {
    ReportWriteFailure(console);
    return false;
  }
  transfer.progress.Complete();
  return true;
}

}  // namespace pellux
