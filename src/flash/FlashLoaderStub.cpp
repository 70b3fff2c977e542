// Placeholder until the flash loader lands.
#include "flash/FlashLoader.h"
#include "jobs/JobConsole.h"

int runFlashLoader(int, const char* const*) {
  ConsoleWrite("The flash loader is not available in this build.\n");
  return 1;
}

void printFlashLoaderUsage() {}
