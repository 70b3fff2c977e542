#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace pellux {

class JobConsole;

// The console progress of one download: the size line, a fifty-position bar
// with the rate (redrawn only when its length changes or at 100 %), or one
// line per chunk when the length is unknown, and the completion lines.
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

  std::string localPath_;
  JobConsole& console_;
  bool begun_ = false;
  std::uint64_t length_ = 0;  // 0: unknown
  std::uint64_t total_ = 0;
  int lastBar_ = -1;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace pellux
