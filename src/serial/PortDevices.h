#pragma once

#include <string>

namespace pellux {

// The device behind a port name that is no PUPDATE_PORT_MAP alias; empty when
// there is none. POSIX: /dev/<name> (an exact match first, else without
// regard to case), else the name itself when it is an existing absolute path.
// Win32: \\.\<name>. Implemented by the platform's backend file.
std::string DevicePathOfPort(const std::string& name);

}  // namespace pellux
