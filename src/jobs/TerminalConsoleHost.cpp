#include "jobs/TerminalConsoleHost.h"

#include <condition_variable>
#include <mutex>

#include "base/TerminalConsole.h"

namespace pellux {

namespace {
std::mutex endMutex;
std::condition_variable endSignal;
}  // namespace

JobConsole& TerminalConsoleHost::Open() {
  CancelJobOnInterrupt();
  return TerminalConsole::Instance();
}

void TerminalConsoleHost::WaitForJob(const std::function<bool()>& finished) {
  // The job observes the cancellation itself; the caller only waits for its end.
  std::unique_lock lock(endMutex);
  endSignal.wait(lock, finished);
}

void TerminalConsoleHost::NotifyJobEnded() {
  std::lock_guard lock(endMutex);
  endSignal.notify_all();
}

void TerminalConsoleHost::Close() {
  RestoreInterruptHandling();
}

TerminalConsoleHost& TerminalConsoleHost::Instance() {
  static TerminalConsoleHost host;
  return host;
}

}  // namespace pellux
