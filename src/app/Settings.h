#pragma once

#include <string>

namespace pellux {

// Where the one persisted choice lives: a key of the Windows registry, kept
// as the key path of the settings store on every platform.
inline constexpr const char* kSettingsKeyPath = "HKEY_CURRENT_USER\\SOFTWARE\\PelluxUpdateV3";
inline constexpr const char* kMachineTypeValue = "MachineType";
// A stored text must fit in this many bytes together with a terminating zero.
inline constexpr size_t kSettingBufferSize = 1024;

// A store of named text values under kSettingsKeyPath.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // False when the value is missing or is not a text.
  virtual bool Read(const std::string& valueName, std::string& text) = 0;
  // False only when the store cannot be opened.
  virtual bool Write(const std::string& valueName, const std::string& text) = 0;
};

// Installs the store used by LoadSetting and SaveSetting; returns the previous.
SettingsStore* SetSettingsStore(SettingsStore* store);

// The stored text, or empty when there is no store, no value, or a value of
// kSettingBufferSize bytes or more.
std::string LoadSetting(const std::string& valueName);
bool SaveSetting(const std::string& valueName, const std::string& text);

}  // namespace pellux
