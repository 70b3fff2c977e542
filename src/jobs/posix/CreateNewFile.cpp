// Exclusive creation on POSIX: O_EXCL, and no link followed.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "jobs/NewFile.h"

namespace pellux {

std::FILE* CreateNewFile(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) {
    const int error = errno;
    ::close(fd);
    errno = error;
  }
  return file;
}

}  // namespace pellux
