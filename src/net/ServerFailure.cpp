#include "net/ServerFailure.h"

#include <atomic>

#include "base/FormatText.h"

namespace pellux {

namespace {
std::atomic<long long> shortenedMilliseconds{0};
}  // namespace

std::chrono::milliseconds StalledTransferTimeout() {
  const long long shortened = shortenedMilliseconds.load();
  if (shortened > 0) return std::chrono::milliseconds(shortened);
  return kStalledTransferTimeout;
}

void SetStalledTransferTimeoutForTesting(std::chrono::milliseconds timeout) {
  shortenedMilliseconds = timeout.count();
}

std::string ServerFailureEnd(const std::string& url, ServerCheck check) {
  const char* advice =
      check == ServerCheck::Reachable
          ? "Check the server address and that the update server is running and reachable."
          : "Check that the update server holds it.";
  return " (" + url + "). " + advice;
}

std::string StalledTransferLine(const std::string& url) {
  const long long seconds = (StalledTransferTimeout().count() + 999) / 1000;
  return FormatText("The server sent nothing for %lld s", seconds) +
         ServerFailureEnd(url, ServerCheck::Reachable);
}

}  // namespace pellux
