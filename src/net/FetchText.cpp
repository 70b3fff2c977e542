#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "net/ServerFiles.h"

namespace pellux {

std::string FetchText(const std::string& url) {
  return FetchText(url, JobCancellation(), ActiveConsole());
}

}  // namespace pellux
