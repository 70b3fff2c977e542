#include "jobs/JobLogFolder.h"

#include <cstdlib>

namespace pellux {

std::filesystem::path JobLogFolder() {
  const char* chosen = std::getenv("PUPDATE_LOG_DIR");
  if (chosen && *chosen) return chosen;
  return DefaultJobLogFolder();
}

}  // namespace pellux
