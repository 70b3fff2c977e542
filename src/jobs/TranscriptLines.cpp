#include "jobs/TranscriptLines.h"

#include <cstdio>

namespace pellux {

std::vector<std::string> TranscriptLines::Feed(std::string_view text) {
  std::vector<std::string> finished;
  for (const char c : text) {
    if (c == '\n') {
      finished.push_back(Finish());
    } else if (c == '\r') {
      column_ = 0;
    } else if (c == '\b') {
      if (column_ > 0) --column_;
    } else {
      if (column_ < line_.size()) {
        line_[column_] = c;
      } else {
        line_.push_back(c);
      }
      ++column_;
    }
  }
  return finished;
}

std::optional<std::string> TranscriptLines::TakePartial() {
  if (line_.empty()) return std::nullopt;
  return Finish();
}

std::string TranscriptLines::Finish() {
  // Progress bars pad their line with blanks to wipe a longer previous one.
  const size_t end = line_.find_last_not_of(' ');
  line_.resize(end == std::string::npos ? 0 : end + 1);
  std::string shown;
  shown.reserve(line_.size());
  for (const char c : line_) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t') || byte == 0x7f) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  line_.clear();
  column_ = 0;
  return shown;
}

}  // namespace pellux
