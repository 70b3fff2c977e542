#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include "base/JobConsole.h"

namespace pellux {

// A property that does not hold is a finding: say which and stop, so that
// libFuzzer keeps the input that broke it.
#define FUZZ_CHECK(condition, what)                      \
  do {                                                   \
    if (!(condition)) FuzzCheckFailed(#condition, what); \
  } while (0)

[[noreturn]] void FuzzCheckFailed(const char* condition, std::string_view what);

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object ends.
class FuzzTempDir {
 public:
  FuzzTempDir();
  ~FuzzTempDir();
  FuzzTempDir(const FuzzTempDir&) = delete;
  FuzzTempDir& operator=(const FuzzTempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

void WriteBytes(const std::filesystem::path& path, const uint8_t* data, size_t size);

// A console that keeps what a target prints and answers every key prompt
// with `key` (-1: the end of input).
class QuietConsole : public JobConsole {
 public:
  explicit QuietConsole(int key = -1) : key_(key) {}
  void Write(std::string_view text) override;
  int ReadKey(const CancelToken& cancel) override;
  std::string Output() const;
  void Clear();
  int Prompts() const;

 private:
  mutable std::mutex mutex_;
  std::string output_;
  int key_;
  int prompts_ = 0;
};

// Makes a console the active one while it lives.
class ActiveConsoleScope {
 public:
  explicit ActiveConsoleScope(JobConsole& console) : previous_(SetActiveConsole(&console)) {}
  ~ActiveConsoleScope() { SetActiveConsole(previous_); }
  ActiveConsoleScope(const ActiveConsoleScope&) = delete;
  ActiveConsoleScope& operator=(const ActiveConsoleScope&) = delete;

 private:
  JobConsole* previous_;
};

}  // namespace pellux
