#include "boards/DriveSetting.h"

#include "jobs/JobConsole.h"

int RunDriveSetting(const std::vector<std::string>&) {
  ConsoleWrite("Servo drive setting is not available in this build.\r\n");
  return 0;
}
