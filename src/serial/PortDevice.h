#pragma once

#include <string>

namespace pellux {

// Opening and closing a serial device for one program at a time.

// Resolves `name` (see PortNames.h) and opens the device non-blocking and
// exclusively: an advisory lock, and the terminal's exclusive mode, so that a
// second program or job is refused instead of sharing the line. Asks USB
// adapters for low latency (ignored where the driver has no such setting).
// Returns the descriptor, or -1 with `failure` set to one line naming the
// port, the device and the reason. `path` receives the device path.
int OpenPortDevice(const std::string& name, std::string& path, std::string& failure);

// Leaves exclusive mode (other openers of the device may follow) and closes.
void ClosePortDevice(int fd);

}  // namespace pellux
