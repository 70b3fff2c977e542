#include "jobs/InstallLocation.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <string>
#include <system_error>

#include "base/FormatText.h"

namespace fs = std::filesystem;

namespace {
#ifndef _WIN32
std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return home;
  if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr) {
    return user->pw_dir;
  }
  return ".";
}
#endif

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
#ifdef _WIN32
    chosen = "C:\\Fabro";
#else
    chosen = (fs::path(HomeDirectory()) / "Fabro").string();
#endif
  }
  std::error_code ignored;
  const fs::path absolute = fs::absolute(WithoutTrailingSeparators(chosen), ignored);
  return absolute.empty() ? WithoutTrailingSeparators(chosen) : absolute;
}

fs::path BackupDirectoryFor(const fs::path& directory, std::time_t now) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  const std::string suffix =
      FormatText("-Before-%02d%02d%02d-%02d%02d%02d", local.tm_year % 100, local.tm_mon + 1,
                 local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return fs::path(WithoutTrailingSeparators(directory.string()).string() + suffix);
}
