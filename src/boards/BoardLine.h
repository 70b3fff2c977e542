#pragma once

#include <string>

#include "serial/SerialCommunication.h"

namespace pellux {

// The line of every exchange with the running board and of the upgrade-mode
// entry: 19200 bit/s, 8 data bits, no parity, 1 stop bit.
SerialSettings BoardLineSettings(const std::string& portName);

}  // namespace pellux
