#include "base/ProgramLocation.h"

#include <windows.h>

#include <string>

namespace pellux {

std::filesystem::path RunningProgramPath() {
  // Paths can be longer than MAX_PATH: grow until the name fits.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return std::filesystem::path(path);
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

std::filesystem::path DefaultApplicationDirectory() {
  return std::filesystem::path(L"C:\\Fabro");
}

}  // namespace pellux
