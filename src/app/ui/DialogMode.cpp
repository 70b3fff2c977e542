#include "app/ui/DialogMode.h"

#include <cstdio>
#include <memory>

#include "app/ui/ConsoleWindowHost.h"
#include "app/ui/DialogApplication.h"
#include "app/ui/DisplayCheck.h"
#include "app/ui/QtSettingsStore.h"
#include "app/ui/ToolkitOptions.h"
#include "app/ui/WinUIDlg.h"
#include "base/Cancellation.h"
#include "base/TerminalConsole.h"
#include "jobs/LoggingConsoleHost.h"

namespace pellux {

namespace {
// While the dialog is made it fetches the machine list; until the window is
// up, Ctrl+C in the terminal that started the program ends that wait.
class InterruptibleStartUp {
 public:
  InterruptibleStartUp() { CancelJobOnInterrupt(); }
  ~InterruptibleStartUp() {
    RestoreInterruptHandling();
    JobCancellation().Reset();
  }
  InterruptibleStartUp(const InterruptibleStartUp&) = delete;
  InterruptibleStartUp& operator=(const InterruptibleStartUp&) = delete;
  bool Interrupted() const { return JobCancellation().IsCancelled(); }
};
}  // namespace

int RunDialogMode(int argc, char** argv, const std::vector<std::string>& tokens,
                  const std::string& programLine) {
  if (!DisplayReachable(ToolkitPlatform(argc, argv))) {
    std::fprintf(stderr, "no display: set DISPLAY, or run a job by name; see --help\n");
    return 1;
  }
  int qtArgc = argc;
  DialogApplication application(qtArgc, argv);
  QtSettingsStore settings;
  SettingsStore* previousSettings = SetSettingsStore(&settings);
  bool interrupted = false;
  {
    ScopedConsoleWindowHost consoleWindows;
    ScopedJobLog jobLogs(programLine, LoggingConsoleHost::ClosingLineBy::Console);
    std::unique_ptr<WinUIDlg> dialog;
    {
      InterruptibleStartUp startUp;
      dialog = std::make_unique<WinUIDlg>(tokens.empty() ? std::string() : tokens.front());
      interrupted = startUp.Interrupted();
    }
    if (interrupted) {
      std::fprintf(stderr, "Cancelled.\n");
    } else {
      dialog->exec();
    }
  }
  SetSettingsStore(previousSettings);
  return interrupted ? 1 : 0;
}

}  // namespace pellux
