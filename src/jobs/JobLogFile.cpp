#include "jobs/JobLogFile.h"

#include <cerrno>
#include <ctime>
#include <mutex>
#include <system_error>

#include "base/LineEnd.h"
#include "jobs/NewFile.h"

namespace pellux {

namespace {
constexpr int kMaxCollisions = 100;
constexpr size_t kMaxJobNameLength = 80;

std::tm LocalTime(JobLogFile::Clock::time_point when) {
  // std::localtime shares one buffer in the whole process.
  static std::mutex mutex;
  const std::time_t seconds = JobLogFile::Clock::to_time_t(when);
  std::lock_guard lock(mutex);
  const std::tm* local = std::localtime(&seconds);
  return local ? *local : std::tm{};
}

std::string Format(const char* format, const std::tm& time) {
  char text[64];
  const size_t length = std::strftime(text, sizeof text, format, &time);
  return std::string(text, length);
}

bool BelongsInFileName(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

std::string ErrnoText() {
  return std::error_code(errno, std::generic_category()).message();
}
}  // namespace

std::string JobLogFileName(std::string_view jobName, JobLogFile::Clock::time_point when,
                           int collision) {
  std::string name = Format("%Y-%m-%d_%H-%M-%S_", LocalTime(when));
  std::string job(jobName.substr(0, kMaxJobNameLength));
  if (job.empty()) job = "JOB";
  for (char& c : job) {
    if (!BelongsInFileName(c)) c = '_';
  }
  name += job;
  if (collision > 1) name += "_" + std::to_string(collision);
  return name + ".log";
}

std::string JobLogTimestamp(JobLogFile::Clock::time_point when) {
  const auto sinceEpoch = when.time_since_epoch();
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(millis < 0 ? 0 : millis));
  return Format("%Y-%m-%d %H:%M:%S", LocalTime(when)) + fraction;
}

JobLogFile::JobLogFile(const std::filesystem::path& folder, std::string_view jobName,
                       Clock::time_point now) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    error_ = "cannot create " + folder.string() + ": " + ec.message();
    return;
  }
  for (int collision = 1; collision <= kMaxCollisions; ++collision) {
    path_ = folder / JobLogFileName(jobName, now, collision);
    file_.reset(CreateNewFile(path_));
    if (file_) return;
    if (errno != EEXIST) break;
  }
  error_ = "cannot create " + path_.string() + ": " + ErrnoText();
  path_.clear();
}

void JobLogFile::WriteLine(std::string_view line, Clock::time_point when) {
  if (!file_) return;
  std::string stamped = JobLogTimestamp(when);
  if (!line.empty()) stamped += "  " + std::string(line);
  stamped += TextLineEnd();
  // Each line reaches the file at once: a job that dies keeps its log so far.
  if (std::fwrite(stamped.data(), 1, stamped.size(), file_.get()) != stamped.size() ||
      std::fflush(file_.get()) != 0) {
    Fail("cannot write " + path_.string() + ": " + ErrnoText());
  }
}

bool JobLogFile::Close() {
  if (file_) {
    const bool flushed = std::fflush(file_.get()) == 0;
    if (!flushed) Fail("cannot write " + path_.string() + ": " + ErrnoText());
    std::FILE* file = file_.release();
    if (std::fclose(file) != 0 && error_.empty()) {
      error_ = "cannot write " + path_.string() + ": " + ErrnoText();
    }
  }
  return error_.empty();
}

void JobLogFile::Fail(const std::string& what) {
  if (error_.empty()) error_ = what;
}

}  // namespace pellux
