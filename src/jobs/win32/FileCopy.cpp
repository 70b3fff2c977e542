#include <windows.h>

#include "jobs/FolderTree.h"

namespace pellux {

namespace fs = std::filesystem;

// CopyFileW keeps the modification time and the attributes, as the shell does.
bool CopyFileWithItsTimes(const fs::path& from, const fs::path& to, std::error_code& error) {
  if (!CopyFileW(from.c_str(), to.c_str(), TRUE)) {
    error = std::error_code(static_cast<int>(GetLastError()), std::system_category());
    return false;
  }
  return true;
}

void MakeDeletable(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) return;
  SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

}  // namespace pellux
