#include "base/ProgramLocation.h"

#include <windows.h>

#include <cstdlib>
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

std::string ProgramFileName(const char* firstToken) {
  const std::wstring name = RunningProgramPath().filename().wstring();
  if (name.empty()) {
    // The system did not say: the launcher's word is all there is.
    const std::string token = firstToken != nullptr ? firstToken : "";
    const size_t slash = token.find_last_of("/\\:");
    return slash == std::string::npos ? token : token.substr(slash + 1);
  }
  const int length = WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), narrow.data(), length,
                      nullptr, nullptr);
  return narrow;
}

std::filesystem::path DefaultApplicationDirectory() {
  return std::filesystem::path(L"C:\\Fabro");
}

std::filesystem::path DialogWorkFolder() {
  const char* local = std::getenv("LOCALAPPDATA");
  if (local == nullptr || local[0] == '\0') return {};
  return std::filesystem::path(local) / "PelluxUpdate";
}

}  // namespace pellux
