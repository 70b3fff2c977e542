#pragma once

#include <curl/curl.h>

#include <memory>

namespace pellux {

// Owners of libcurl handles; each one is released exactly once.
struct CurlEasyCleanup {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CurlMultiCleanup {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct CurlSlistCleanup {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

using CurlEasy = std::unique_ptr<CURL, CurlEasyCleanup>;
using CurlMulti = std::unique_ptr<CURLM, CurlMultiCleanup>;
using CurlHeaderList = std::unique_ptr<curl_slist, CurlSlistCleanup>;

// A new easy handle (libcurl initialised once per process); null on failure.
CurlEasy NewCurlEasy();

}  // namespace pellux
