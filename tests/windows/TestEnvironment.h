#pragma once

#include <cstdlib>
#include <string>

// What scripts/test-windows.sh prepares on the Linux side for the Windows
// tests: an update server, its folder tree, packages made by other ZIP
// writers. Empty when the test runs without it.
inline std::string TestSetting(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}
