#include "boards/FlashLoaderPort.h"

#include <cctype>

std::string FlashLoaderPortText(const std::string& portName) {
  const bool comName = portName.size() >= 3 &&
                       std::toupper(static_cast<unsigned char>(portName[0])) == 'C' &&
                       std::toupper(static_cast<unsigned char>(portName[1])) == 'O' &&
                       std::toupper(static_cast<unsigned char>(portName[2])) == 'M';
  if (!comName) return portName;
  return portName.substr(portName.find_first_of("mM") + 1);
}
