#include "base/JobConsole.h"
#include "net/ReplyText.h"
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

  const CURLcode result = PerformCancellableTransfer(easy.get(), cancel);
  if (result == CURLE_ABORTED_BY_CALLBACK) return {};
  long status = 0;
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
  // No reply at all, or an error page instead of the text: an error page must
  // never pass for a machine list or a digest.
  if (status == 0 || status >= 400) {
    console.Write("Fail access to server.\r\n");
    return {};
  }
  // A reply broken off keeps what arrived, as a shorter text.
  return reply.Finish();
}

}  // namespace pellux
