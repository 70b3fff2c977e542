#pragma once

#include <functional>

class JobConsole;

// How a job run ended, as its console shows it.
enum class JobOutcome { Complete, Failed, Cancelled };

// Where a job's console lives: the terminal in console job mode, a console
// window when a dialog starts the job, a capturing console in the tests.
class ConsoleHost {
 public:
  virtual ~ConsoleHost() = default;
  // Opens the console for one run.
  virtual JobConsole& Open() = 0;
  // Runs on the caller's thread while the job runs on its own thread; returns
  // once `finished()` is true. Turns the user's Ctrl+C (or closing the console)
  // into JobCancellation().Cancel(). `jobEnded` is called from the job thread
  // once the job has finished, to wake the wait.
  virtual void WaitForJob(const std::function<bool()>& finished) = 0;
  virtual void NotifyJobEnded() {}
  // The job has ended and "Cancelled." (if it was) has been written. A window
  // shows the result as its last line and waits until the user dismisses it;
  // a terminal leaves the last word to the program.
  virtual void ShowOutcome(JobOutcome /*outcome*/) {}
  // Closes the console after the run.
  virtual void Close() {}
};

// The host used by RunJobInConsole (the terminal unless another is installed).
ConsoleHost& ActiveConsoleHost();
ConsoleHost* SetConsoleHost(ConsoleHost* host);
