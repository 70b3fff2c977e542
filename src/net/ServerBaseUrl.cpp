#include "net/ServerBaseUrl.h"

#include <cstdlib>

namespace pellux {

#ifndef PUPDATE_DEFAULT_SERVER_URL
#define PUPDATE_DEFAULT_SERVER_URL "http://localhost:8080/"
#endif

namespace {
std::string& Storage() {
  static std::string url = PUPDATE_DEFAULT_SERVER_URL;
  return url;
}
}  // namespace

const std::string& ServerBaseUrl() {
  return Storage();
}

void SetServerBaseUrl(const std::string& url) {
  Storage() = url;
}

bool IsValidServerBaseUrl(const std::string& url) {
  const bool scheme = url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
  const size_t schemeLength = url.rfind("https://", 0) == 0 ? 8 : 7;
  return scheme && url.size() > schemeLength + 1 && url.back() == '/';
}

bool ApplyServerUrlFromEnvironment(std::string& error) {
  const char* value = std::getenv("PUPDATE_SERVER_URL");
  if (value == nullptr || *value == '\0') return true;
  if (!IsValidServerBaseUrl(value)) {
    error = std::string("PUPDATE_SERVER_URL \"") + value +
            "\" is not a server address: it must begin with http:// or https:// and end with /";
    return false;
  }
  SetServerBaseUrl(value);
  return true;
}

}  // namespace pellux
