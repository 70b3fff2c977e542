#include "jobs/ExtractedFile.h"

#include <windows.h>

#include <system_error>

namespace pellux {

namespace fs = std::filesystem;

struct ExtractedFile::Handle {
  explicit Handle(HANDLE opened) : file(opened) {}
  ~Handle() {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE file;
};

namespace {
std::string LastError() {
  return std::system_category().message(static_cast<int>(GetLastError()));
}

// Unix seconds as a FILETIME: 100 ns steps since 1601.
FILETIME ToFileTime(std::time_t seconds) {
  constexpr long long kSecondsFrom1601To1970 = 11644473600LL;
  const unsigned long long steps =
      static_cast<unsigned long long>(seconds + kSecondsFrom1601To1970) * 10000000ULL;
  return FILETIME{static_cast<DWORD>(steps & 0xFFFFFFFF), static_cast<DWORD>(steps >> 32)};
}

DWORD ToFileAttributes(const ZipItemAttributes& attributes) {
  DWORD value = 0;
  if (attributes.readOnly) value |= FILE_ATTRIBUTE_READONLY;
  if (attributes.hidden) value |= FILE_ATTRIBUTE_HIDDEN;
  if (attributes.system) value |= FILE_ATTRIBUTE_SYSTEM;
  if (attributes.archive) value |= FILE_ATTRIBUTE_ARCHIVE;
  return value == 0 ? FILE_ATTRIBUTE_NORMAL : value;
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
  // CREATE_NEW never opens what is already there, a link included.
  HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "the file cannot be created: " + LastError();
    return false;
  }
  target_ = target;
  handle_ = std::make_unique<Handle>(file);
  return true;
}

bool ExtractedFile::Write(std::string_view piece, std::string& error) {
  while (!piece.empty()) {
    DWORD written = 0;
    if (!WriteFile(handle_->file, piece.data(), static_cast<DWORD>(piece.size()), &written,
                   nullptr) ||
        written == 0) {
      error = "writing failed: " + LastError();
      return false;
    }
    piece.remove_prefix(written);
  }
  return true;
}

bool ExtractedFile::Finish(const ZipItemAttributes& attributes, const ZipItemTimes& times,
                           std::string& error) {
  const FILETIME created = ToFileTime(times.created);
  const FILETIME accessed = ToFileTime(times.accessed);
  const FILETIME modified = ToFileTime(times.modified);
  if (!SetFileTime(handle_->file, &created, &accessed, &modified)) {
    error = "its times cannot be set: " + LastError();
    return false;
  }
  HANDLE file = handle_->file;
  handle_->file = INVALID_HANDLE_VALUE;
  if (!CloseHandle(file)) {
    error = "writing failed: " + LastError();
    return false;
  }
  // Read-only last: the file could not be removed after a failure otherwise.
  if (!SetFileAttributesW(target_.c_str(), ToFileAttributes(attributes))) {
    error = "its attributes cannot be set: " + LastError();
    return false;
  }
  handle_.reset();
  return true;
}

}  // namespace pellux
