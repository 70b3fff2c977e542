#include "flash/ControlBoardUpdate.h"

#include "jobs/JobConsole.h"

bool updateControlBoard(const std::string&, const std::string&, bool) {
  ConsoleWrite("Firmware updates are not available in this build.\r\n");
  return false;
}
