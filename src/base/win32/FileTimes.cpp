#include "base/FileTimes.h"

#include <windows.h>

namespace {
// Unix seconds as a FILETIME: 100 ns steps since 1601.
FILETIME ToFileTime(std::time_t seconds) {
  constexpr long long kSecondsFrom1601To1970 = 11644473600LL;
  const unsigned long long steps =
      static_cast<unsigned long long>(seconds + kSecondsFrom1601To1970) * 10000000ULL;
  return FILETIME{static_cast<DWORD>(steps & 0xFFFFFFFF), static_cast<DWORD>(steps >> 32)};
}
}  // namespace

bool SetFileTimes(const std::filesystem::path& path, std::time_t accessed, std::time_t modified,
                  std::error_code& error) {
  // A link's own times, and a folder's: reparse points are not followed.
  HANDLE file = CreateFileW(
      path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = std::error_code(static_cast<int>(GetLastError()), std::system_category());
    return false;
  }
  const FILETIME access = ToFileTime(accessed);
  const FILETIME write = ToFileTime(modified);
  const bool set = SetFileTime(file, nullptr, &access, &write) != FALSE;
  if (set) {
    error.clear();
  } else {
    error = std::error_code(static_cast<int>(GetLastError()), std::system_category());
  }
  CloseHandle(file);
  return set;
}

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  localtime_s(&local, &when);
  return local;
}
