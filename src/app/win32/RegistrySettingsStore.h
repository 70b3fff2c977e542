#pragma once

#include "app/Settings.h"

namespace pellux {

// The settings store on Windows: the values of the registry key
// HKEY_CURRENT_USER\SOFTWARE\PelluxUpdateV3, as strings (REG_SZ) in UTF-16;
// the texts are UTF-8 on this side.
class RegistrySettingsStore : public SettingsStore {
 public:
  bool Read(const std::string& valueName, std::string& text) override;
  bool Write(const std::string& valueName, const std::string& text) override;
};

}  // namespace pellux
