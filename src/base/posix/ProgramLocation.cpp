#include "base/ProgramLocation.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace pellux {

namespace {
std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return home;
  if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr) {
    return user->pw_dir;
  }
  return ".";
}
}  // namespace

std::filesystem::path RunningProgramPath() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : exe;
}

std::string ProgramFileName(const char* firstToken) {
  const std::string token = firstToken != nullptr ? firstToken : "";
  // A launcher for Windows names may write the path with backslashes.
  const size_t slash = token.find_last_of("/\\");
  return slash == std::string::npos ? token : token.substr(slash + 1);
}

std::filesystem::path DefaultApplicationDirectory() {
  return std::filesystem::path(HomeDirectory()) / "Fabro";
}

std::filesystem::path DialogWorkFolder() {
  return {};
}

}  // namespace pellux
