#include "boards/BoardLine.h"

namespace pellux {

SerialSettings BoardLineSettings(const std::string& portName) {
  SerialSettings settings;
  settings.portName = portName;
  settings.baudRate = 19200;
  settings.dataBits = 8;
  settings.parity = 0;
  settings.stopBits = 1;
  settings.overlapped = true;
  return settings;
}

}  // namespace pellux
