#include "base/FileTimes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

bool SetFileTimes(const std::filesystem::path& path, std::time_t accessed, std::time_t modified,
                  std::error_code& error) {
  timespec values[2] = {};
  values[0].tv_sec = accessed;
  values[1].tv_sec = modified;
  if (::utimensat(AT_FDCWD, path.c_str(), values, AT_SYMLINK_NOFOLLOW) != 0) {
    error = std::error_code(errno, std::generic_category());
    return false;
  }
  error.clear();
  return true;
}

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  return local;
}
