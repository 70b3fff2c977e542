#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace pellux {

class JobConsole;

// The console progress of one download: the size line, a fifty-position bar
// with the rate (redrawn only when its length changes or at 100 %), or one
// line per chunk when the length is unknown, and the completion lines. On a
// console narrower than those lines they are shortened to fit.
class DownloadProgress {
 public:
  DownloadProgress(std::string localPath, JobConsole& console)
      : localPath_(std::move(localPath)), console_(console) {}

  // The reply's headers are in. length < 0: no Content-Length; 0: unknown.
  void Begin(std::int64_t length);
  bool begun() const { return begun_; }
  void Received(std::uint64_t bytes);
  void Complete();
  std::uint64_t total() const { return total_; }

 private:
  double ElapsedSeconds() const;
  // lead, "[", the bar (`filled` of fifty), "]", tail, padding, end; within
  // the console's width when it is known.
  std::string BarLine(const char* lead, std::uint64_t filled, const std::string& tail,
                      size_t padding, const char* end) const;

  std::string localPath_;
  JobConsole& console_;
  bool begun_ = false;
  std::uint64_t length_ = 0;  // 0: unknown
  std::uint64_t total_ = 0;
  int lastBar_ = -1;
  int columns_ = 0;  // 0: no width to keep to
  std::chrono::steady_clock::time_point start_;
};

}  // namespace pellux
