#pragma once

#include <map>
#include <string>

#include "app/Settings.h"

namespace pellux {

// Settings kept in memory, for tests of what is saved and restored.
class MemoryStore : public SettingsStore {
 public:
  bool Read(const std::string& name, std::string& text) override {
    const auto found = values.find(name);
    if (found == values.end()) return false;
    text = found->second;
    return true;
  }
  bool Write(const std::string& name, const std::string& text) override {
    values[name] = text;
    return true;
  }
  std::map<std::string, std::string> values;
};

}  // namespace pellux
