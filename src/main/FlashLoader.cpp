// The flash loader as a command of its own: interprets its command line
// against the STM32 bootloader, prints to the terminal (Ctrl+C cancels) and
// exits with the interpreter's code (-1 becomes 255).
#include <atomic>
#include <cstdio>

#include "flash/FlashLoader.h"
#include "jobs/ConsoleRunner.h"

int main(int argc, char** argv) {
  std::atomic<int> code{1};
  const bool ok = RunInConsole([&] {
    code = runFlashLoader(argc, argv);
    return code == 0;
  });
  std::fflush(stdout);
  // A cancelled run never reports success.
  if (!ok && code == 0) return 1;
  return code;
}
