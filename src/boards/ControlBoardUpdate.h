#pragma once

#include <string>

namespace pellux {

// FIRMWARE (manualBoot false) and INITIALIZE (manualBoot true) jobs: brings
// the board's STM32 into its ROM bootloader and flashes the firmware file.
bool updateControlBoard(const std::string& portName, const std::string& firmwarePath,
                        bool manualBoot);

}  // namespace pellux
