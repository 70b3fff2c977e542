#include "jobs/LoggingConsole.h"

#include <string>

namespace pellux {

LoggingConsole::LoggingConsole(JobConsole& inner, JobLogFile& log) : inner_(inner), log_(log) {}

void LoggingConsole::Write(std::string_view text) {
  // One lock around both, so the log keeps the order the screen shows.
  std::lock_guard lock(mutex_);
  inner_.Write(text);
  const auto now = JobLogFile::Clock::now();
  for (const std::string& line : lines_.Feed(text)) log_.WriteLine(line, now);
}

int LoggingConsole::ReadKey(const CancelToken& cancel) {
  const int key = inner_.ReadKey(cancel);
  std::lock_guard lock(mutex_);
  // The prompt stands on the unfinished line; the answer ends it on screen.
  WritePartialLocked();
  std::string answer;
  if (key < 0) {
    answer = "(no key: end of input or cancelled)";
  } else if (key == '\n' || key == '\r') {
    answer = "(key: Enter)";
  } else if (key >= 0x20 && key < 0x7f) {
    answer = std::string("(key: ") + static_cast<char>(key) + ")";
  } else {
    answer = "(key: code " + std::to_string(key) + ")";
  }
  log_.WriteLine(answer, JobLogFile::Clock::now());
  return key;
}

void LoggingConsole::Note(std::string_view line) {
  std::lock_guard lock(mutex_);
  WritePartialLocked();
  log_.WriteLine(line, JobLogFile::Clock::now());
}

void LoggingConsole::WritePartialLocked() {
  if (auto partial = lines_.TakePartial()) log_.WriteLine(*partial, JobLogFile::Clock::now());
}

}  // namespace pellux
