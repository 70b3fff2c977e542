#pragma once

#include <functional>

class JobConsole;

// Where a job's console lives: the terminal in console job mode, a console
// window when a dialog starts the job, a capturing console in the tests.
class ConsoleHost {
 public:
  virtual ~ConsoleHost() = default;
  // Opens the console for one run.
  virtual JobConsole& Open() = 0;
  // Runs on the caller's thread while the job runs on its own thread; returns
  // once `finished()` is true. Turns the user's Ctrl+C (or closing the console)
  // into JobCancellation().Cancel().
  virtual void WaitForJob(const std::function<bool()>& finished) = 0;
  // Called from the job thread once the job has finished, to wake WaitForJob.
  virtual void NotifyJobEnded() {}
  // Closes the console after the run.
  virtual void Close() {}
};

// The host used by RunJobInConsole (the terminal unless another is installed).
ConsoleHost& ActiveConsoleHost();
ConsoleHost* SetConsoleHost(ConsoleHost* host);
