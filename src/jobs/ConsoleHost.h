#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pellux {

class JobConsole;

// How a run ended.
enum class JobOutcome { Complete, Error, Cancelled };

// Where a job's console lives: the terminal in console job mode, a console
// window when a dialog starts the job, a capturing console in the tests.
class ConsoleHost {
 public:
  virtual ~ConsoleHost() = default;
  // Called before Open with the job's name ("PUPDATE-NR2-FIRMWARE-COM3").
  virtual void NameJob(std::string_view name) {}
  // Opens the console for one run.
  virtual JobConsole& Open() = 0;
  // Runs on the caller's thread while the job runs on its own thread; returns
  // once `finished()` is true. Turns the user's Ctrl+C (or closing the console)
  // into JobCancellation().Cancel().
  virtual void WaitForJob(const std::function<bool()>& finished) = 0;
  // Called from the job thread once the job has finished, to wake WaitForJob.
  virtual void NotifyJobEnded() {}
  // Called once the job has ended, before Close.
  virtual void ReportOutcome(JobOutcome outcome) {}
  // After ReportOutcome: a window keeps the result on screen until the user
  // dismisses it; a terminal leaves the last word to the program.
  virtual void HoldResult() {}
  // Closes the console after the run.
  virtual void Close() {}
  // Keeps `lines` in a log of their own named `name`, for what goes wrong
  // outside a job (the dialog's start-up); a host without logs drops them.
  virtual void LogNote(std::string_view name, const std::vector<std::string>& lines) {}
};

// The host used by RunJobInConsole (the terminal unless another is installed).
ConsoleHost& ActiveConsoleHost();
ConsoleHost* SetConsoleHost(ConsoleHost* host);

}  // namespace pellux
