#include "jobs/ConsoleRunner.h"

#include <vector>

#include <atomic>
#include <mutex>
#include <thread>

#include "base/Cancellation.h"
#include "base/ConsoleClose.h"
#include "base/JobConsole.h"
#include "jobs/ConsoleHost.h"
#include "jobs/JobDriver.h"
#include "jobs/JobName.h"
#include "jobs/TerminalConsoleHost.h"

namespace pellux {

namespace {
std::atomic<ConsoleHost*> installedHost{nullptr};
std::mutex runMutex;  // one job at a time

// Passes everything to the host's console and remembers whether the last
// line was ended, so the run's closing words always stand on a line of their
// own (some of the job's own texts end without a line end).
class LineEndingConsole : public JobConsole {
 public:
  explicit LineEndingConsole(JobConsole& target) : target_(target) {}
  void Write(std::string_view text) override {
    target_.Write(text);
    if (!text.empty()) atLineStart_.store(text.back() == '\n', std::memory_order_release);
  }
  int Columns() override { return target_.Columns(); }
  int ReadKey(const CancelToken& cancel) override {
    const int key = target_.ReadKey(cancel);
    // The typed Enter (or the prompt's end) starts a new line on the screen.
    atLineStart_.store(true, std::memory_order_release);
    return key;
  }
  void EndLine() {
    if (!atLineStart_.load(std::memory_order_acquire)) Write("\r\n");
  }

 private:
  JobConsole& target_;
  std::atomic<bool> atLineStart_{true};
};

// Marks a run for a console close that waits for it to unwind.
class MarkedRun {
 public:
  MarkedRun() { JobRunStarted(); }
  ~MarkedRun() { JobRunEnded(); }
  MarkedRun(const MarkedRun&) = delete;
  MarkedRun& operator=(const MarkedRun&) = delete;
};
}  // namespace

ConsoleHost& ActiveConsoleHost() {
  ConsoleHost* host = installedHost.load(std::memory_order_acquire);
  return host ? *host : TerminalConsoleHost::Instance();
}

ConsoleHost* SetConsoleHost(ConsoleHost* host) {
  return installedHost.exchange(host, std::memory_order_acq_rel);
}

bool RunInConsole(const JobBody& job, std::string_view name, RunEnding ending) {
  std::lock_guard runLock(runMutex);
  const MarkedRun marked;
  ConsoleHost& host = ActiveConsoleHost();
  CancelToken& cancel = JobCancellation();
  cancel.Reset();

  host.NameJob(name);
  LineEndingConsole console(host.Open());
  JobConsole* previous = SetActiveConsole(&console);

  std::atomic<bool> finished{false};
  bool jobResult = false;
  std::thread worker([&] {
    jobResult = job(cancel, console);
    finished.store(true, std::memory_order_release);
    host.NotifyJobEnded();
  });
  host.WaitForJob([&] { return finished.load(std::memory_order_acquire); });
  worker.join();

  const bool cancelled = cancel.IsCancelled();
  const bool result = jobResult && !cancelled;
  console.EndLine();
  // Said once, here, whatever the job was doing when it was stopped.
  if (cancelled) console.Write("Cancelled.\r\n");
  cancel.Reset();  // a Ctrl+C of this run never reaches the next one
  SetActiveConsole(previous);
  host.ReportOutcome(cancelled ? JobOutcome::Cancelled
                               : (result ? JobOutcome::Complete : JobOutcome::Error));
  if (ending == RunEnding::HoldResult) host.HoldResult();
  host.Close();
  return result;
}

bool RunInConsole(const std::function<bool()>& job, std::string_view name, RunEnding ending) {
  return RunInConsole([&job](const CancelToken&, JobConsole&) { return job(); }, name, ending);
}

bool RunJobInConsole(int argc, const char* const* argv) {
  const std::string name = argc > 0 && argv && argv[0] ? ParseJobSpec(argv[0]).name : "";
  return RunInConsole(
      [argc, argv](const CancelToken& cancel, JobConsole& console) {
        return RunJob(argc, argv, cancel, console);
      },
      name.empty() ? "JOB" : name);
}

bool RunJobInConsole(const std::vector<std::string>& args) {
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return RunJobInConsole(static_cast<int>(argv.size()), argv.data());
}

}  // namespace pellux
