// Download Online Files on Windows: the user's local application data.
#include <cstdlib>

#include "app/OnlineFilesDownload.h"

namespace pellux {

std::filesystem::path UserDownloadsFolder() {
  const char* local = std::getenv("LOCALAPPDATA");
  if (!local || !*local) return {};
  return std::filesystem::path(local) / "PelluxUpdate" / "Downloads";
}

}  // namespace pellux
