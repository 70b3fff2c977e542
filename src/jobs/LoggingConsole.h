#pragma once

#include <mutex>
#include <string_view>

#include "base/JobConsole.h"
#include "jobs/JobLogFile.h"
#include "jobs/TranscriptLines.h"

namespace pellux {

// A console that passes everything on to another and keeps a transcript of
// it in a job log: each finished line with its time, redrawn lines folded to
// what was last shown, and the keys the user answered prompts with.
class LoggingConsole : public JobConsole {
 public:
  LoggingConsole(JobConsole& inner, JobLogFile& log);

  void Write(std::string_view text) override;
  int ReadKey(const CancelToken& cancel) override;
  int Columns() override { return inner_.Columns(); }

  // Writes a line of the log's own (a header, the result), after whatever
  // the job left unfinished.
  void Note(std::string_view line);

 private:
  void WritePartialLocked();

  JobConsole& inner_;
  JobLogFile& log_;
  std::mutex mutex_;
  TranscriptLines lines_;
};

}  // namespace pellux
