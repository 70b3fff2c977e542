#include "serial/PortDevices.h"

#include <dirent.h>
#include <sys/stat.h>

#include "base/AsciiCase.h"

namespace pellux {

namespace {
bool IsCharacterDevice(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

// A device directly under /dev whose name matches without regard to case; an
// exact match wins.
std::string FindDevice(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    return {};
  }
  const std::string exact = "/dev/" + name;
  if (IsCharacterDevice(exact)) return exact;
  DIR* dir = ::opendir("/dev");
  if (dir == nullptr) return {};
  std::string found;
  while (const dirent* entry = ::readdir(dir)) {
    if (!EqualsIgnoringAsciiCase(entry->d_name, name)) continue;
    const std::string candidate = std::string("/dev/") + entry->d_name;
    if (IsCharacterDevice(candidate) && (found.empty() || candidate < found)) found = candidate;
  }
  ::closedir(dir);
  return found;
}
}  // namespace

std::string DevicePathOfPort(const std::string& name) {
  if (std::string device = FindDevice(name); !device.empty()) return device;
  if (!name.empty() && name.front() == '/') {
    struct stat info {};
    if (::stat(name.c_str(), &info) == 0) return name;
  }
  return {};
}

}  // namespace pellux
