// Download Online Files on Linux and other XDG systems: the user's data folder.
#include <cstdlib>

#include "app/OnlineFilesDownload.h"

namespace pellux {

std::filesystem::path UserDownloadsFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  // The base directory rules ignore a relative value.
  if (data && data[0] == '/') return std::filesystem::path(data) / "PelluxUpdate" / "Downloads";
  const char* home = std::getenv("HOME");
  if (!home || !*home) return {};
  return std::filesystem::path(home) / ".local" / "share" / "PelluxUpdate" / "Downloads";
}

}  // namespace pellux
