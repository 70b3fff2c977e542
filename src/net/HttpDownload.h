#pragma once

#include <string>

namespace pellux {

class CancelToken;
class JobConsole;

// Downloads `url` into `localPath` with a progress bar on `console`. True when
// the whole body was written; an HTTP error status is a failed download. Ends
// early, false, once `cancel` is cancelled.
bool DownloadFile(const std::string& url, const std::string& localPath, const CancelToken& cancel,
                  JobConsole& console);
// The same for the running job: its token and the active console.
bool DownloadFile(const std::string& url, const std::string& localPath);

}  // namespace pellux
