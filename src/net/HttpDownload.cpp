#include "net/HttpDownload.h"

#include "base/Cancellation.h"
#include "base/JobConsole.h"

namespace pellux {

bool DownloadFile(const std::string& url, const std::string& localPath) {
  return DownloadFile(url, localPath, JobCancellation(), ActiveConsole());
}

}  // namespace pellux
