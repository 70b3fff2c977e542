// Exclusive creation on Windows: _O_EXCL (the C runtime's "x" mode is not
// honoured by every runtime the programs run on).
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "jobs/NewFile.h"

namespace pellux {

std::FILE* CreateNewFile(const std::filesystem::path& path) {
  const int fd =
      ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = ::_fdopen(fd, "wb");
  if (!file) {
    const int error = errno;
    ::_close(fd);
    errno = error;
  }
  return file;
}

}  // namespace pellux
