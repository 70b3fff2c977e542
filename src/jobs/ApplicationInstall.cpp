#include "jobs/ApplicationInstall.h"

#include "jobs/JobConsole.h"

bool InstallApplication(const std::string&) {
  ConsoleWrite("Application install is not available in this build.\r\n");
  return false;
}
