#include "serial/PortEnumeration.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

#include "base/AsciiCase.h"
#include "serial/PortNames.h"

namespace pellux {

namespace {
bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// A legacy UART slot (ttyS*) exists whether or not a chip answers; its
// "type" attribute is 0 when there is none.
bool IsEmptyUartSlot(const std::string& entryDir) {
  std::ifstream type(entryDir + "/type");
  int value = -1;
  return type >> value && value == 0;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& known : names) {
    if (EqualsIgnoringAsciiCase(known, name)) return true;
  }
  return false;
}
}  // namespace

std::vector<std::string> EnumeratePortsIn(const std::string& ttyClassDir) {
  std::vector<std::string> names = PortAliasNames();
  DIR* dir = ::opendir(ttyClassDir.c_str());
  if (dir == nullptr) {
    std::cerr << "Cannot list the serial ports in " << ttyClassDir << ": " << std::strerror(errno)
              << "\n";
  } else {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string entryDir = ttyClassDir + "/" + name;
      if (!Exists(entryDir + "/device") || IsEmptyUartSlot(entryDir)) continue;
      if (!Contains(names, name)) names.push_back(name);
    }
    ::closedir(dir);
  }
  SortPortNames(names);
  return names;
}

std::vector<std::string> EnumerateSystemPorts() {
  return EnumeratePortsIn("/sys/class/tty");
}

}  // namespace pellux
