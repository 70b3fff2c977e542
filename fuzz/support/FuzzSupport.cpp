#include "FuzzSupport.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "base/Cancellation.h"

namespace pellux {

void FuzzCheckFailed(const char* condition, std::string_view what) {
  std::fprintf(stderr, "property broken: %.*s (%s)\n", int(what.size()), what.data(), condition);
  std::fflush(stderr);
  std::abort();
}

FuzzTempDir::FuzzTempDir() {
  static std::atomic<unsigned> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("pupdate-fuzz-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

FuzzTempDir::~FuzzTempDir() {
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

void WriteBytes(const std::filesystem::path& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void QuietConsole::Write(std::string_view text) {
  std::lock_guard lock(mutex_);
  output_ += text;
}

int QuietConsole::ReadKey(const CancelToken& cancel) {
  std::lock_guard lock(mutex_);
  ++prompts_;
  return cancel.IsCancelled() ? -1 : key_;
}

std::string QuietConsole::Output() const {
  std::lock_guard lock(mutex_);
  return output_;
}

void QuietConsole::Clear() {
  std::lock_guard lock(mutex_);
  output_.clear();
  prompts_ = 0;
}

int QuietConsole::Prompts() const {
  std::lock_guard lock(mutex_);
  return prompts_;
}

}  // namespace pellux
