#pragma once

#include "jobs/ConsoleHost.h"

namespace pellux {

// Console job mode: the process's terminal. SIGINT (Ctrl+C), SIGTERM and SIGHUP
// (the terminal went away) cancel the running job.
class TerminalConsoleHost : public ConsoleHost {
 public:
  JobConsole& Open() override;
  void WaitForJob(const std::function<bool()>& finished) override;
  void NotifyJobEnded() override;
  void Close() override;

  static TerminalConsoleHost& Instance();
};

}  // namespace pellux
