#pragma once

#include <string>

namespace pellux {

class CancelToken;
class JobConsole;

// FPGA job: sends the image to the board's upgrade mode in 133-byte blocks.
// Its lines go to `console`; it ends, false, once `cancel` is cancelled.
bool UpgradeFpga(const std::string& portName, const std::string& filePath,
                 const CancelToken& cancel, JobConsole& console);
// The same for the running job: its token and the active console.
bool UpgradeFpga(const std::string& portName, const std::string& filePath);

}  // namespace pellux
