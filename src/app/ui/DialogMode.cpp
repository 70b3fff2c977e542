#include "app/ui/DialogMode.h"

#include "app/ui/ConsoleWindowHost.h"
#include "app/ui/DialogApplication.h"
#include "app/ui/QtSettingsStore.h"
#include "app/ui/WinUIDlg.h"

int RunDialogMode(int argc, char** argv, const std::vector<std::string>& tokens) {
  int qtArgc = argc;
  DialogApplication application(qtArgc, argv);
  QtSettingsStore settings;
  SettingsStore* previousSettings = SetSettingsStore(&settings);
  {
    ScopedConsoleWindowHost consoleWindows;
    WinUIDlg dialog(tokens.empty() ? std::string() : tokens.front());
    dialog.exec();
  }
  SetSettingsStore(previousSettings);
  return 0;
}
