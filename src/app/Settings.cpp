#include "app/Settings.h"

namespace pellux {

namespace {
SettingsStore* installedStore = nullptr;
}

SettingsStore* SetSettingsStore(SettingsStore* store) {
  SettingsStore* previous = installedStore;
  installedStore = store;
  return previous;
}

std::string LoadSetting(const std::string& valueName) {
  std::string text;
  if (installedStore == nullptr || !installedStore->Read(valueName, text)) return {};
  // A text with an embedded zero would not come back whole either.
  if (text.size() + 1 > kSettingBufferSize || text.find('\0') != std::string::npos) return {};
  return text;
}

bool SaveSetting(const std::string& valueName, const std::string& text) {
  return installedStore != nullptr && installedStore->Write(valueName, text);
}

}  // namespace pellux
