#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace pellux {

// One job's log: a new file "<date>_<time>_<job>.log" in a folder, each line
// written with its local time. Writing never throws; the first failure is
// kept for the job's closing line.
class JobLogFile {
 public:
  using Clock = std::chrono::system_clock;

  // Creates the file (never replaces one: a second job in the same second
  // gets "_2", "_3", ...). Check IsOpen().
  JobLogFile(const std::filesystem::path& folder, std::string_view jobName, Clock::time_point now);

  bool IsOpen() const { return file_ != nullptr; }
  const std::filesystem::path& Path() const { return path_; }
  // Why the file could not be created or written; empty while all is well.
  const std::string& Error() const { return error_; }

  // "2026-12-08 23:45:01.250  <line>" and the platform's line end.
  void WriteLine(std::string_view line, Clock::time_point when);
  // Flushes and closes; false when anything was lost.
  bool Close();

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  void Fail(const std::string& what);

  std::filesystem::path path_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  std::string error_;
};

// The file name of a job's log, without the collision suffix:
// "2026-12-08_23-45-01_PUPDATE-NR2-FIRMWARE-COM3.log". Characters that do not
// belong in a file name become '_'.
std::string JobLogFileName(std::string_view jobName, JobLogFile::Clock::time_point when,
                           int collision = 1);

// "2026-12-08 23:45:01.250", local time.
std::string JobLogTimestamp(JobLogFile::Clock::time_point when);

}  // namespace pellux
