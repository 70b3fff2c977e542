#pragma once

#include <string>
#include <vector>

namespace pellux {

// The serial ports of this PC: the aliases of PUPDATE_PORT_MAP and the tty
// devices under `ttyClassDir` (normally /sys/class/tty) that have a device
// behind them, in ComPortLess order. Legacy UART entries that report no UART
// (type 0) are left out. When the directory cannot be read, one line goes to
// standard error and only the aliases are listed.
std::vector<std::string> EnumeratePortsIn(const std::string& ttyClassDir);

// The same for this system's own list (/sys/class/tty on Linux, the registry
// on Win32). Implemented by the platform's backend file.
std::vector<std::string> EnumerateSystemPorts();

}  // namespace pellux
