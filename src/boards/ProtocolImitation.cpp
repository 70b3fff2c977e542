#include "boards/ProtocolImitation.h"

#include "jobs/JobConsole.h"

int RunImitation(const std::vector<std::string>&) {
  ConsoleWrite("Step drive setting is not available in this build.\r\n");
  return 0;
}
