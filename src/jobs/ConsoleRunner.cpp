#include "jobs/ConsoleRunner.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "jobs/Cancellation.h"
#include "jobs/ConsoleHost.h"
#include "jobs/JobConsole.h"
#include "jobs/JobDriver.h"
#include "jobs/JobSpec.h"
#include "jobs/TerminalConsoleHost.h"

namespace {
std::atomic<ConsoleHost*> installedHost{nullptr};
std::mutex runMutex;  // one job at a time
}  // namespace

ConsoleHost& ActiveConsoleHost() {
  ConsoleHost* host = installedHost.load(std::memory_order_acquire);
  return host ? *host : TerminalConsoleHost::Instance();
}

ConsoleHost* SetConsoleHost(ConsoleHost* host) {
  return installedHost.exchange(host, std::memory_order_acq_rel);
}

bool RunInConsole(const std::function<bool()>& job, std::string_view name) {
  std::lock_guard runLock(runMutex);
  ConsoleHost& host = ActiveConsoleHost();
  CancelToken& cancel = JobCancellation();
  cancel.Reset();

  host.NameJob(name);
  JobConsole& console = host.Open();
  JobConsole* previous = SetActiveConsole(&console);

  std::atomic<bool> finished{false};
  bool jobResult = false;
  std::thread worker([&] {
    jobResult = job();
    finished.store(true, std::memory_order_release);
    host.NotifyJobEnded();
  });
  host.WaitForJob([&] { return finished.load(std::memory_order_acquire); });
  worker.join();

  const bool cancelled = cancel.IsCancelled();
  const bool result = jobResult && !cancelled;
  cancel.Reset();  // a Ctrl+C of this run never reaches the next one
  SetActiveConsole(previous);
  host.ReportOutcome(cancelled ? JobOutcome::Cancelled
                               : (result ? JobOutcome::Complete : JobOutcome::Error));
  host.Close();
  return result;
}

bool RunJobInConsole(int argc, const char* const* argv) {
  const std::string name = argc > 0 && argv && argv[0] ? ParseJobSpec(argv[0]).name : "";
  return RunInConsole([argc, argv] { return RunJob(argc, argv); }, name.empty() ? "JOB" : name);
}
