#pragma once

#include <string>

namespace pellux {

class CancelToken;
class JobConsole;

// FIRMWARE (manualBoot false) and INITIALIZE (manualBoot true) jobs: brings
// the board's STM32 into its ROM bootloader and flashes the firmware file.
// Lines and prompts go to `console`; every wait ends once `cancel` is
// cancelled, the flash loader's included.
bool updateControlBoard(const std::string& portName, const std::string& firmwarePath,
                        bool manualBoot, const CancelToken& cancel, JobConsole& console);
// The same for the running job: its token and the active console.
bool updateControlBoard(const std::string& portName, const std::string& firmwarePath,
                        bool manualBoot);

}  // namespace pellux
