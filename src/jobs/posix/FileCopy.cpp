#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "jobs/FolderTree.h"

namespace pellux {

namespace fs = std::filesystem;

bool CopyFileWithItsTimes(const fs::path& from, const fs::path& to, std::error_code& error) {
  // The times before the copy reads the file (which may set its access time).
  struct stat source {};
  if (::stat(from.c_str(), &source) != 0) {
    error = std::error_code(errno, std::generic_category());
    return false;
  }
  if (!fs::copy_file(from, to, fs::copy_options::none, error)) return false;
  const timespec times[2] = {source.st_atim, source.st_mtim};
  if (::utimensat(AT_FDCWD, to.c_str(), times, 0) != 0) {
    error = std::error_code(errno, std::generic_category());
    return false;
  }
  return true;
}

// The folder's permissions decide, not the file's.
void MakeDeletable(const fs::path&) {}

}  // namespace pellux
