// The flash loader as a command of its own: interprets its command line
// against the STM32 bootloader, prints to the terminal (Ctrl+C cancels) and
// exits with the interpreter's code (-1 becomes 255).
#include <atomic>
#include <cstdio>
#include <string_view>

#include "ProgramVersion.h"
#include "flash/FlashLoader.h"
#include "jobs/ConsoleRunner.h"

int main(int argc, char** argv) {
  // The conventions users type first; every other text is the interpreter's.
  if (argc >= 2) {
    const std::string_view first = argv[1];
    if (first == "--help" || first == "-h") {
      printFlashLoaderUsage();
      std::fflush(stdout);
      return 0;
    }
    if (first == "--version") {
      std::printf("%s\n", VersionLine("FlashLoader").c_str());
      return 0;
    }
  }

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
