#include "jobs/LineRecordingConsole.h"

namespace pellux {

void LineRecordingConsole::Write(std::string_view text) {
  std::lock_guard lock(mutex_);
  inner_.Write(text);
  for (std::string& line : transcript_.Feed(text)) lines_.push_back(std::move(line));
}

std::vector<std::string> LineRecordingConsole::Lines() {
  std::lock_guard lock(mutex_);
  if (auto partial = transcript_.TakePartial()) lines_.push_back(std::move(*partial));
  return lines_;
}

std::string LineRecordingConsole::LastLine() {
  const std::vector<std::string> lines = Lines();
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    if (line->find_first_not_of(" \t") != std::string::npos) return *line;
  }
  return {};
}

}  // namespace pellux
