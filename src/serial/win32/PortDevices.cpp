#include "serial/PortDevices.h"

namespace pellux {

// Windows names every serial device in its device namespace: \\.\COM12,
// \\.\CNCA0. Whether it exists shows when it is opened.
std::string DevicePathOfPort(const std::string& name) {
  if (name.empty() || name.find_first_of("\\/:") != std::string::npos) return {};
  return "\\\\.\\" + name;
}

}  // namespace pellux
