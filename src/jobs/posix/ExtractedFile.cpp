#include "jobs/ExtractedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace pellux {

namespace fs = std::filesystem;

struct ExtractedFile::Handle {
  explicit Handle(int opened) : fd(opened) {}
  ~Handle() {
    if (fd >= 0) ::close(fd);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  int fd;
};

namespace {
std::string LastError() {
  return std::error_code(errno, std::generic_category()).message();
}

bool SetPermissions(const fs::path& target, const ZipItemAttributes& attributes,
                    std::string& error) {
  std::error_code ec;
  if (attributes.unixPermissions != 0) {
    // Owner read is kept so that the file can always be backed up and copied.
    fs::permissions(target, static_cast<fs::perms>(attributes.unixPermissions | S_IRUSR),
                    fs::perm_options::replace, ec);
  } else if (attributes.readOnly) {
    fs::permissions(target,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove, ec);
  }
  if (ec) {
    error = "its attributes cannot be set: " + ec.message();
    return false;
  }
  return true;
}

bool SetTimes(const fs::path& target, const ZipItemTimes& times, std::string& error) {
  timespec values[2] = {};
  values[0].tv_sec = times.accessed;
  values[1].tv_sec = times.modified;
  if (::utimensat(AT_FDCWD, target.c_str(), values, AT_SYMLINK_NOFOLLOW) != 0) {
    error = "its times cannot be set: " + LastError();
    return false;
  }
  return true;
}
}  // namespace

ExtractedFile::ExtractedFile() = default;

ExtractedFile::~ExtractedFile() {
  if (!handle_) return;
  handle_.reset();
  std::error_code ignored;
  fs::remove(target_, ignored);
}

bool ExtractedFile::Create(const fs::path& target, std::string& error) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = "the file cannot be created: " + LastError();
    return false;
  }
  target_ = target;
  handle_ = std::make_unique<Handle>(fd);
  return true;
}

bool ExtractedFile::Write(std::string_view piece, std::string& error) {
  while (!piece.empty()) {
    const ssize_t written = ::write(handle_->fd, piece.data(), piece.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error = "writing failed: " + LastError();
      return false;
    }
    piece.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

bool ExtractedFile::Finish(const ZipItemAttributes& attributes, const ZipItemTimes& times,
                           std::string& error) {
  const int fd = handle_->fd;
  handle_->fd = -1;
  if (::close(fd) != 0) {
    error = "writing failed: " + LastError();
    return false;
  }
  if (!SetPermissions(target_, attributes, error) || !SetTimes(target_, times, error)) {
    return false;
  }
  handle_.reset();
  return true;
}

}  // namespace pellux
