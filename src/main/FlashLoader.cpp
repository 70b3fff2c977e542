// The flash loader as a command of its own: interprets its command line
// against the STM32 bootloader, prints to the terminal (Ctrl+C cancels) and
// exits with the interpreter's code (-1 becomes 255).
#include <atomic>
#include <cstdio>
#include <optional>
#include <string_view>

#include "ProgramVersion.h"
#include "flash/FlashLoader.h"
#include "jobs/ConsoleRunner.h"
#include "jobs/LoggingConsoleHost.h"

using namespace pellux;

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
  // A run that only shows the usage is no job worth a log.
  const bool usageOnly = argc < 2 || std::string_view(argv[1]) == "-?";
  std::optional<ScopedJobLog> runLog;
  if (!usageOnly)
    runLog.emplace(VersionLine("FlashLoader"), LoggingConsoleHost::ClosingLineBy::Caller);
  const bool ok = RunInConsole(
      [&](const CancelToken& cancel, JobConsole& console) {
        code = runFlashLoader(argc, argv, cancel, console);
        return code == 0;
      },
      "FLASHLOADER");
  if (runLog && !runLog->ClosingLine().empty()) {
    std::printf("%s\n", runLog->ClosingLine().c_str());
  }
  std::fflush(stdout);
  // A cancelled run never reports success.
  if (!ok && code == 0) return 1;
  return code;
}
