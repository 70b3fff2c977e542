#include "jobs/win32/AllocatedConsoleHost.h"

#include "base/Cancellation.h"
#include "base/ConsoleClose.h"
#include "base/TerminalConsole.h"

namespace pellux {

namespace {
const char* OutcomeWord(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::Complete:
      return "Complete";
    case JobOutcome::Cancelled:
      return "Cancelled";
    case JobOutcome::Error:
      break;
  }
  return "Error";
}
}  // namespace

void AllocatedConsoleHost::NameJob(std::string_view name) {
  title_ = "PelluxUpdate - " + std::string(name);
}

JobConsole& AllocatedConsoleHost::Open() {
  terminal_.emplace(JobTerminal::Use::OwnConsole);
  terminal_->SetTitle(title_);
  return TerminalConsoleHost::Open();
}

void AllocatedConsoleHost::ReportOutcome(JobOutcome outcome) {
  outcome_ = outcome;
}

void AllocatedConsoleHost::HoldResult() {
  // The window is being closed: the process ends as soon as the run is over.
  if (!terminal_ || !terminal_->ShowsWindow() || ConsoleIsClosing()) return;
  TerminalConsole& console = TerminalConsole::Instance();
  console.Write(std::string(OutcomeWord(outcome_)) + "\r\n");
  console.Write("Press any key to close this window.\r\n");
  // Ctrl+C, or closing the window, ends the wait as well.
  terminal_->AwaitAnyKey(JobCancellation());
}

void AllocatedConsoleHost::Close() {
  TerminalConsoleHost::Close();
  terminal_.reset();
}

}  // namespace pellux
