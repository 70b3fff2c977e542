#include "jobs/FolderTree.h"

namespace pellux {

namespace fs = std::filesystem;

bool CopyFolderTree(const fs::path& from, const fs::path& to, std::error_code& error) {
  if (!fs::create_directory(to, error)) {
    if (!error) error = std::make_error_code(std::errc::file_exists);
    return false;
  }
  for (auto it = fs::directory_iterator(from, error); !error && it != fs::directory_iterator();
       it.increment(error)) {
    const fs::path target = to / it->path().filename();
    const fs::file_status status = it->symlink_status(error);
    if (error) return false;
    if (fs::is_symlink(status)) {
      fs::copy_symlink(it->path(), target, error);
    } else if (fs::is_directory(status)) {
      CopyFolderTree(it->path(), target, error);
    } else {
      CopyFileWithItsTimes(it->path(), target, error);
    }
    if (error) return false;
  }
  return !error;
}

bool RemoveFolderTree(const fs::path& path, std::error_code& error) {
  std::error_code walk;
  if (fs::is_directory(fs::symlink_status(path, walk))) {
    for (auto it = fs::recursive_directory_iterator(path, walk);
         !walk && it != fs::recursive_directory_iterator(); it.increment(walk)) {
      MakeDeletable(it->path());
    }
  }
  fs::remove_all(path, error);
  return !error;
}

}  // namespace pellux
