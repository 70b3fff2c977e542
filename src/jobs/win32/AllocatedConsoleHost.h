#pragma once

#include <optional>
#include <string>

#include "base/JobTerminal.h"
#include "jobs/TerminalConsoleHost.h"

namespace pellux {

// The console of a job started from a Windows dialog: each job gets a
// console window of its own (AllocConsole; the process's console when it
// has one already), titled after the job. Ctrl+C in it cancels the job;
// closing it cancels the job too and, as Windows ends every program attached
// to a console that is closed, ends the program once the job has unwound.
// After the job the window shows the result and stays until the user presses
// a key; then it is freed.
//
// Install it around the dialog's jobs:
//   AllocatedConsoleHost host;
//   ConsoleHost* previous = SetConsoleHost(&host);
//   ... RunJobInConsole(...) ...
//   SetConsoleHost(previous);
class AllocatedConsoleHost : public TerminalConsoleHost {
 public:
  AllocatedConsoleHost() = default;

  void NameJob(std::string_view name) override;
  JobConsole& Open() override;
  void ReportOutcome(JobOutcome outcome) override;
  void HoldResult() override;
  void Close() override;

 private:
  std::string title_ = "PelluxUpdate";
  std::optional<JobTerminal> terminal_;
  JobOutcome outcome_ = JobOutcome::Error;
};

}  // namespace pellux
