#pragma once

#include <curl/curl.h>

namespace pellux {

class CancelToken;

// Runs the transfer set up on `easy` until it ends or `cancel` is cancelled.
// A cancellation wakes the wait at once and gives CURLE_ABORTED_BY_CALLBACK;
// the connection is closed when the caller releases the handle.
CURLcode PerformCancellableTransfer(CURL* easy, const CancelToken& cancel);

// Options every request to the update server shares: no proxy, no cached
// replies, the given user agent, HTTP and HTTPS only, and an end once
// `cancel` is cancelled (it must outlive the transfer).
void SetServerRequestOptions(CURL* easy, const char* userAgent, curl_slist* noCacheHeaders,
                             const CancelToken& cancel);

// "Cache-Control: no-cache" and "Pragma: no-cache".
curl_slist* NewNoCacheHeaders();

}  // namespace pellux
