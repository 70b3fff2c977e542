#include "boards/FpgaUpgrade.h"

#include "jobs/JobConsole.h"

bool UpgradeFpga(const std::string&, const std::string&) {
  ConsoleWrite("FPGA updates are not available in this build.\r\n");
  return false;
}
