// Job logs on Windows: the user's local application data.
#include <cstdlib>

#include "jobs/JobLogFolder.h"

namespace pellux {

std::filesystem::path DefaultJobLogFolder() {
  const char* local = std::getenv("LOCALAPPDATA");
  if (!local || !*local) return {};
  return std::filesystem::path(local) / "PelluxUpdate" / "logs";
}

}  // namespace pellux
