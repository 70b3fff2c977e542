#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/JobConsole.h"
#include "jobs/TranscriptLines.h"

namespace pellux {

// A console that passes everything on to another and keeps the lines it
// carried, so that a caller outside a job can repeat what went wrong where
// the user looks (a dialog's status line, a log).
class LineRecordingConsole : public JobConsole {
 public:
  explicit LineRecordingConsole(JobConsole& inner) : inner_(inner) {}

  void Write(std::string_view text) override;
  int ReadKey(const CancelToken& cancel) override { return inner_.ReadKey(cancel); }

  // Every line written so far, the unfinished last one included.
  std::vector<std::string> Lines();
  // The last line that is not blank; empty when nothing was said.
  std::string LastLine();

 private:
  JobConsole& inner_;
  std::mutex mutex_;
  TranscriptLines transcript_;
  std::vector<std::string> lines_;
};

}  // namespace pellux
