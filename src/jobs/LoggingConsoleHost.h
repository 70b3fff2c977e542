#pragma once

#include <memory>
#include <string>

#include "jobs/ConsoleHost.h"
#include "jobs/JobLogFile.h"
#include "jobs/LoggingConsole.h"

namespace pellux {

// A console host that also writes a log of every job it runs: it decorates
// the host that shows the job (terminal or console window) and hands the job
// a LoggingConsole. A log that cannot be written never fails the job; the
// closing line then says so instead of naming the file.
class LoggingConsoleHost : public ConsoleHost {
 public:
  // Who shows the closing line: the host itself, through the job's console,
  // once the outcome is known (the dialogs' console window); or the caller,
  // after printing the result its own way (the terminal programs).
  enum class ClosingLineBy { Console, Caller };

  // `programLine` heads every log ("PelluxUpdateV3 3.0 (git ...)").
  LoggingConsoleHost(ConsoleHost& inner, std::string programLine, ClosingLineBy closingLineBy);
  ~LoggingConsoleHost() override;

  void NameJob(std::string_view name) override;
  JobConsole& Open() override;
  void WaitForJob(const std::function<bool()>& finished) override;
  void NotifyJobEnded() override;
  void ReportOutcome(JobOutcome outcome) override;
  void HoldResult() override;
  void Close() override;
  void LogNote(std::string_view name, const std::vector<std::string>& lines) override;

  // For the last run: "Log: <path>", or one warning line when the log could
  // not be written; empty before the first run.
  const std::string& ClosingLine() const { return closingLine_; }

 private:
  ConsoleHost& inner_;
  const std::string programLine_;
  const ClosingLineBy closingLineBy_;
  std::string jobName_ = "JOB";
  JobConsole* innerConsole_ = nullptr;
  std::unique_ptr<JobLogFile> log_;
  std::unique_ptr<LoggingConsole> console_;
  std::string closingLine_;
};

// Installs a LoggingConsoleHost over the active console host while it lives.
class ScopedJobLog {
 public:
  ScopedJobLog(std::string programLine, LoggingConsoleHost::ClosingLineBy closingLineBy);
  ~ScopedJobLog();
  ScopedJobLog(const ScopedJobLog&) = delete;
  ScopedJobLog& operator=(const ScopedJobLog&) = delete;

  const std::string& ClosingLine() const { return host_.ClosingLine(); }

 private:
  LoggingConsoleHost host_;
  ConsoleHost* previous_;
};

}  // namespace pellux
