#include "base/JobConsole.h"
#include "net/ReplyText.h"
#include "net/ServerFailure.h"
#include "net/ServerFiles.h"
#include "net/posix/CurlHandles.h"
#include "net/posix/CurlTransfer.h"

namespace pellux {

namespace {
size_t OnBody(char* data, size_t size, size_t count, void* context) {
  auto& reply = *static_cast<ReplyText*>(context);
  const size_t length = size * count;
  return reply.Add(std::string_view(data, length)) ? length : 0;
}
}  // namespace

std::string FetchText(const std::string& url, const CancelToken& cancel, JobConsole& console) {
  CurlEasy easy = NewCurlEasy();
  CurlHeaderList headers(NewNoCacheHeaders());
  if (!easy || !headers) {
    console.Write("Fail internet access.\r\n");
    return {};
  }
  ReplyText reply;
  SetServerRequestOptions(easy.get(), "FirmwareUpdate", headers.get(), cancel);
  curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &reply);

  char detail[CURL_ERROR_SIZE] = "";
  curl_easy_setopt(easy.get(), CURLOPT_ERRORBUFFER, detail);

  const CURLcode result = PerformCancellableTransfer(easy.get(), cancel);
  if (result == CURLE_ABORTED_BY_CALLBACK) return {};
  long status = 0;
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
  // No reply at all, or an error page instead of the text: an error page must
  // never pass for a machine list or a digest.
  if (result == CURLE_OPERATION_TIMEDOUT) {
    console.Printf("Fail access to server. %s\r\n", StalledTransferLine(url).c_str());
    return {};
  }
  if (status == 0) {
    console.Printf("Fail access to server. %s%s\r\n",
                   detail[0] != '\0' ? detail : curl_easy_strerror(result),
                   ServerFailureEnd(url, ServerCheck::Reachable).c_str());
    return {};
  }
  if (status >= 400) {
    console.Printf("Fail access to server. It answered HTTP status %ld%s\r\n", status,
                   ServerFailureEnd(url, ServerCheck::Holds).c_str());
    return {};
  }
  // A reply broken off keeps what arrived, as a shorter text.
  return reply.Finish();
}

}  // namespace pellux
