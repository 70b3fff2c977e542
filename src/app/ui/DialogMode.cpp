#include "app/ui/DialogMode.h"

#include <cstdio>

#include "app/ui/ConsoleWindowHost.h"
#include "app/ui/DialogApplication.h"
#include "app/ui/DisplayCheck.h"
#include "app/ui/QtSettingsStore.h"
#include "app/ui/ToolkitOptions.h"
#include "app/ui/WinUIDlg.h"
#include "jobs/LoggingConsoleHost.h"

namespace pellux {

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
  {
    ScopedConsoleWindowHost consoleWindows;
    ScopedJobLog jobLogs(programLine, LoggingConsoleHost::ClosingLineBy::Console);
    WinUIDlg dialog(tokens.empty() ? std::string() : tokens.front());
    dialog.exec();
  }
  SetSettingsStore(previousSettings);
  return 0;
}

}  // namespace pellux
