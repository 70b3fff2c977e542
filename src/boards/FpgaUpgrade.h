#pragma once

#include <string>

namespace pellux {

// FPGA job: sends the image to the board's upgrade mode in 133-byte blocks.
bool UpgradeFpga(const std::string& portName, const std::string& filePath);

}  // namespace pellux
