#include "app/ui/DialogMode.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>

#include "app/ui/win32/WinUIDlg.h"
#include "app/win32/RegistrySettingsStore.h"
#include "jobs/LoggingConsoleHost.h"
#include "jobs/win32/AllocatedConsoleHost.h"

namespace pellux {

namespace {
class ScopedConsoleHost {
 public:
  explicit ScopedConsoleHost(ConsoleHost* host) : previous_(SetConsoleHost(host)) {}
  ~ScopedConsoleHost() { SetConsoleHost(previous_); }
  ScopedConsoleHost(const ScopedConsoleHost&) = delete;
  ScopedConsoleHost& operator=(const ScopedConsoleHost&) = delete;

 private:
  ConsoleHost* previous_;
};
}  // namespace

int RunDialogMode(int argc, char** argv, const std::vector<std::string>& tokens,
                  const std::string& programLine) {
  // The manifest asks for the version 6 controls; they are there once
  // comctl32 has been initialised.
  INITCOMMONCONTROLSEX controls{.dwSize = sizeof(INITCOMMONCONTROLSEX),
                                .dwICC = ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  RegistrySettingsStore settings;
  SettingsStore* previousSettings = SetSettingsStore(&settings);
  bool shown = false;
  {
    // Each job from the dialog gets a console window of its own; the log
    // wraps it, so it is installed first and removed last.
    AllocatedConsoleHost consoles;
    ScopedConsoleHost consoleHost(&consoles);
    ScopedJobLog jobLogs(programLine, LoggingConsoleHost::ClosingLineBy::Console);
    WinUIDlg dialog(tokens.empty() ? std::string() : tokens.front());
    shown = dialog.Run();
  }
  SetSettingsStore(previousSettings);
  if (!shown) {
    std::fprintf(stderr,
                 "The dialog cannot be opened (error %lu): start the program on a desktop, or "
                 "run a job by name; see --help\n",
                 GetLastError());
    return 1;
  }
  return 0;
}

}  // namespace pellux
