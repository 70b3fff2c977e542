#include "net/posix/CurlHandles.h"

#include <mutex>

namespace pellux {

CurlEasy NewCurlEasy() {
  static std::once_flag initialised;
  std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  return CurlEasy(curl_easy_init());
}

}  // namespace pellux
