#pragma once

#include <string>

namespace pellux {

// Downloads `url` into `localPath` with a console progress bar. True when the
// whole body was written; an HTTP error status is a failed download.
bool DownloadFile(const std::string& url, const std::string& localPath);

}  // namespace pellux
