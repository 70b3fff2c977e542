#pragma once

#include <QString>

#include "app/Settings.h"

namespace pellux {

// The settings store of the dialogs: the registry key itself on Windows, an
// INI file under the user's configuration folder elsewhere, where the key
// path becomes the group of the value. The file follows XDG_CONFIG_HOME.
class QtSettingsStore : public SettingsStore {
 public:
  bool Read(const std::string& valueName, std::string& text) override;
  bool Write(const std::string& valueName, const std::string& text) override;

  // The INI file used off Windows.
  static QString IniFilePath();
};

}  // namespace pellux
