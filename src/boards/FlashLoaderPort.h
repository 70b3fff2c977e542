#pragma once

#include <string>

namespace pellux {

// The port text handed to the flash loader's --pn: the characters after the
// first 'm' or 'M' of a COMn name (COM12 gives "12"); any other name (ttyUSB0,
// a device path) whole, since the flash loader accepts names as well.
std::string FlashLoaderPortText(const std::string& portName);

}  // namespace pellux
