#include "jobs/InstallLocation.h"

#include <cstdlib>
#include <string>
#include <system_error>

#include "base/FormatText.h"
#include "base/LocalTime.h"
#include "base/ProgramLocation.h"

namespace pellux {

namespace fs = std::filesystem;

namespace {
// "/a/Fabro/" and "/a/Fabro" must give the same backup name beside it.
fs::path WithoutTrailingSeparators(std::string text) {
  while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) text.pop_back();
  return fs::path(text);
}
}  // namespace

fs::path ApplicationDirectory() {
  std::string chosen;
  if (const char* configured = std::getenv("PUPDATE_FABRO_DIR");
      configured != nullptr && configured[0] != '\0') {
    chosen = configured;
  } else {
    chosen = DefaultApplicationDirectory().string();
  }
  std::error_code ignored;
  const fs::path absolute = fs::absolute(WithoutTrailingSeparators(chosen), ignored);
  return absolute.empty() ? WithoutTrailingSeparators(chosen) : absolute;
}

fs::path BackupDirectoryFor(const fs::path& directory, std::time_t now) {
  const std::tm local = LocalTimeOf(now);
  const std::string suffix =
      FormatText("-Before-%02d%02d%02d-%02d%02d%02d", local.tm_year % 100, local.tm_mon + 1,
                 local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return fs::path(WithoutTrailingSeparators(directory.string()).string() + suffix);
}

}  // namespace pellux
