#include "jobs/JobLogFolder.h"

#include <cstdlib>

std::filesystem::path JobLogFolder() {
  const char* chosen = std::getenv("PUPDATE_LOG_DIR");
  if (chosen && *chosen) return chosen;
  return DefaultJobLogFolder();
}
