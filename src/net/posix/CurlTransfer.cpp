#include "net/posix/CurlTransfer.h"

#include "base/Cancellation.h"
#include "net/ServerFailure.h"
#include "net/posix/CurlHandles.h"

namespace pellux {

namespace {
// Keeps `easy` attached to `multi` for the lifetime of this object.
class AttachedHandle {
 public:
  AttachedHandle(CURLM* multi, CURL* easy)
      : multi_(multi), easy_(easy), attached_(curl_multi_add_handle(multi, easy) == CURLM_OK) {}
  ~AttachedHandle() {
    if (attached_) curl_multi_remove_handle(multi_, easy_);
  }
  AttachedHandle(const AttachedHandle&) = delete;
  AttachedHandle& operator=(const AttachedHandle&) = delete;
  bool attached() const { return attached_; }

 private:
  CURLM* multi_;
  CURL* easy_;
  bool attached_;
};

int CancelOnProgress(void* token, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const CancelToken*>(token)->IsCancelled() ? 1 : 0;
}
}  // namespace

void SetServerRequestOptions(CURL* easy, const char* userAgent, curl_slist* noCacheHeaders,
                             const CancelToken& cancel) {
  curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgent);
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, noCacheHeaders);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  // An address that never answers fails in bounded time (Ctrl+C ends it sooner).
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 30L);
  // A server that takes the connection and then falls silent: no byte for
  // the stalled-transfer time ends the transfer (libcurl counts whole seconds).
  const long stallSeconds = static_cast<long>((StalledTransferTimeout().count() + 999) / 1000);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, stallSeconds);
  // The progress callback ends a transfer that streams without pause.
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, CancelOnProgress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, const_cast<CancelToken*>(&cancel));
}

curl_slist* NewNoCacheHeaders() {
  curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
  if (headers == nullptr) return nullptr;
  curl_slist* more = curl_slist_append(headers, "Pragma: no-cache");
  if (more == nullptr) {
    curl_slist_free_all(headers);
    return nullptr;
  }
  return more;
}

CURLcode PerformCancellableTransfer(CURL* easy, const CancelToken& cancel) {
  CurlMulti multi(curl_multi_init());
  if (!multi) return CURLE_OUT_OF_MEMORY;
  AttachedHandle attached(multi.get(), easy);
  if (!attached.attached()) return CURLE_FAILED_INIT;

  const auto wakeFd = static_cast<curl_socket_t>(cancel.Wake().NativeHandle());
  for (;;) {
    if (cancel.IsCancelled()) return CURLE_ABORTED_BY_CALLBACK;
    int running = 0;
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) return CURLE_FAILED_INIT;
    if (running == 0) {
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
          return message->data.result;
        }
      }
      return CURLE_FAILED_INIT;
    }
    // Sleeps until the socket is ready, a timer of libcurl is due, or the
    // token is cancelled (the wake-up descriptor becomes readable).
    curl_waitfd wake{wakeFd, CURL_WAIT_POLLIN, 0};
    if (curl_multi_poll(multi.get(), &wake, wakeFd >= 0 ? 1 : 0, 1000, nullptr) != CURLM_OK) {
      return CURLE_FAILED_INIT;
    }
  }
}

}  // namespace pellux
