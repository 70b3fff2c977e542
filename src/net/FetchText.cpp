#include <cstring>

#include "base/JobConsole.h"
#include "net/CurlHandles.h"
#include "net/CurlTransfer.h"
#include "net/ServerFiles.h"

namespace {
// Replies are read as texts in chunks of at most this many bytes, and each
// chunk ends at its first zero byte.
constexpr size_t kChunkSize = 1024;
// Short replies only: anything beyond this is not read.
constexpr size_t kMaxReply = 1 << 20;

struct TextReply {
  std::string text;
  std::string chunk;
  size_t received = 0;

  void EndChunk() {
    text.append(chunk.c_str(), std::strlen(chunk.c_str()));
    chunk.clear();
  }
};

size_t OnBody(char* data, size_t size, size_t count, void* context) {
  auto& reply = *static_cast<TextReply*>(context);
  const size_t length = size * count;
  for (size_t i = 0; i < length; ++i) {
    if (reply.received++ >= kMaxReply) return 0;
    reply.chunk += data[i];
    if (reply.chunk.size() == kChunkSize) reply.EndChunk();
  }
  return length;
}
}  // namespace

std::string FetchText(const std::string& url) {
  CurlEasy easy = NewCurlEasy();
  CurlHeaderList headers(NewNoCacheHeaders());
  if (!easy || !headers) {
    ConsoleWrite("Fail internet access.\r\n");
    return {};
  }
  TextReply reply;
  SetServerRequestOptions(easy.get(), "FirmwareUpdate", headers.get());
  curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &reply);

  const CURLcode result = PerformCancellableTransfer(easy.get());
  if (result == CURLE_ABORTED_BY_CALLBACK) return {};
  long status = 0;
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
  // No reply at all, or an error page instead of the text: an error page must
  // never pass for a machine list or a digest.
  if (status == 0 || status >= 400) {
    ConsoleWrite("Fail access to server.\r\n");
    return {};
  }
  // A reply broken off keeps what arrived, as a shorter text.
  reply.EndChunk();
  return reply.text;
}
