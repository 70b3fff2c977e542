#include "boards/FlashLoaderPort.h"

#include "base/AsciiCase.h"

namespace pellux {

std::string FlashLoaderPortText(const std::string& portName) {
  const bool comName = StartsWithIgnoringAsciiCase(portName, "COM");
  if (!comName) return portName;
  return portName.substr(portName.find_first_of("mM") + 1);
}

}  // namespace pellux
