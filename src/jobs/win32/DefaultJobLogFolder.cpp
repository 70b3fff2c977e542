// Job logs on Windows: the user's local application data,
// %LOCALAPPDATA%\PelluxUpdate\logs.
#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <cstdlib>

#include "jobs/JobLogFolder.h"

namespace pellux {

namespace {
// The shell's own answer, which holds whatever the user's name is made of
// and needs no environment.
std::filesystem::path LocalAppData() {
  PWSTR folder = nullptr;
  std::filesystem::path path;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder))) {
    path = folder;
  }
  CoTaskMemFree(folder);
  if (!path.empty()) return path;
  const wchar_t* variable = _wgetenv(L"LOCALAPPDATA");
  return variable && *variable ? std::filesystem::path(variable) : std::filesystem::path();
}
}  // namespace

std::filesystem::path DefaultJobLogFolder() {
  const std::filesystem::path local = LocalAppData();
  if (local.empty()) return {};
  return local / "PelluxUpdate" / "logs";
}

}  // namespace pellux
