#include "jobs/LoggingConsoleHost.h"

#include "jobs/JobLogFolder.h"
#include "jobs/JobLogRotation.h"

namespace pellux {

namespace {
const char* ResultLine(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::Complete:
      return "Complete";
    case JobOutcome::Cancelled:
      return "Error (cancelled)";
    case JobOutcome::Error:
      break;
  }
  return "Error";
}
}  // namespace

LoggingConsoleHost::LoggingConsoleHost(ConsoleHost& inner, std::string programLine,
                                       ClosingLineBy closingLineBy)
    : inner_(inner), programLine_(std::move(programLine)), closingLineBy_(closingLineBy) {}

LoggingConsoleHost::~LoggingConsoleHost() = default;

void LoggingConsoleHost::NameJob(std::string_view name) {
  jobName_ = name.empty() ? "JOB" : std::string(name);
  inner_.NameJob(name);
}

JobConsole& LoggingConsoleHost::Open() {
  innerConsole_ = &inner_.Open();
  closingLine_.clear();
  console_.reset();
  log_.reset();
  const std::filesystem::path folder = JobLogFolder();
  if (folder.empty()) {
    closingLine_ =
        "Warning: no job log was written: no folder for logs is known; set PUPDATE_LOG_DIR to "
        "a writable folder";
    return *innerConsole_;
  }
  log_ = std::make_unique<JobLogFile>(folder, jobName_, JobLogFile::Clock::now());
  if (!log_->IsOpen()) {
    closingLine_ = "Warning: no job log was written: " + log_->Error() +
                   "; set PUPDATE_LOG_DIR to a writable folder";
    log_.reset();
    return *innerConsole_;
  }
  KeepNewestJobLogs(folder);
  console_ = std::make_unique<LoggingConsole>(*innerConsole_, *log_);
  console_->Note(programLine_ + ", job " + jobName_);
  return *console_;
}

void LoggingConsoleHost::WaitForJob(const std::function<bool()>& finished) {
  inner_.WaitForJob(finished);
}

void LoggingConsoleHost::NotifyJobEnded() {
  inner_.NotifyJobEnded();
}

void LoggingConsoleHost::ReportOutcome(JobOutcome outcome) {
  if (console_) {
    console_->Note(ResultLine(outcome));
    closingLine_ = log_->Close() ? "Log: " + log_->Path().string()
                                 : "Warning: the job log is incomplete: " + log_->Error();
  }
  inner_.ReportOutcome(outcome);
  if (closingLineBy_ == ClosingLineBy::Console && innerConsole_ && !closingLine_.empty()) {
    innerConsole_->Write(closingLine_ + "\r\n");
  }
}

void LoggingConsoleHost::HoldResult() {
  inner_.HoldResult();
}

void LoggingConsoleHost::Close() {
  inner_.Close();
  // The console stays until the next run: a straggling write after the job
  // still lands on the screen (the log is closed by now).
  innerConsole_ = nullptr;
}

void LoggingConsoleHost::LogNote(std::string_view name, const std::vector<std::string>& lines) {
  inner_.LogNote(name, lines);
  const std::filesystem::path folder = JobLogFolder();
  if (folder.empty()) return;
  JobLogFile log(folder, name, JobLogFile::Clock::now());
  if (!log.IsOpen()) return;  // a note is worth no complaint of its own
  KeepNewestJobLogs(folder);
  log.WriteLine(programLine_ + ", " + std::string(name), JobLogFile::Clock::now());
  for (const std::string& line : lines) log.WriteLine(line, JobLogFile::Clock::now());
  log.Close();
}

ScopedJobLog::ScopedJobLog(std::string programLine, LoggingConsoleHost::ClosingLineBy closingLineBy)
    : host_(ActiveConsoleHost(), std::move(programLine), closingLineBy),
      previous_(SetConsoleHost(&host_)) {}

ScopedJobLog::~ScopedJobLog() {
  SetConsoleHost(previous_);
}

}  // namespace pellux
