// Job logs on Linux and other XDG systems: the user's state folder.
#include <cstdlib>

#include "jobs/JobLogFolder.h"

namespace pellux {

std::filesystem::path DefaultJobLogFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  // The base directory rules ignore a relative value.
  if (state && state[0] == '/') return std::filesystem::path(state) / "PelluxUpdate" / "logs";
  const char* home = std::getenv("HOME");
  if (!home || !*home) return {};
  return std::filesystem::path(home) / ".local" / "state" / "PelluxUpdate" / "logs";
}

}  // namespace pellux
