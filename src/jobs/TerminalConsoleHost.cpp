#include "jobs/TerminalConsoleHost.h"

#include <poll.h>
#include <signal.h>

#include <condition_variable>
#include <mutex>

#include "jobs/Cancellation.h"
#include "jobs/TerminalConsole.h"

namespace {
struct sigaction previousInt;
struct sigaction previousHup;
struct sigaction previousTerm;
std::mutex endMutex;
std::condition_variable endSignal;

void CancelOnSignal(int) {
  JobCancellation().CancelFromSignal();
}
}  // namespace

JobConsole& TerminalConsoleHost::Open() {
  struct sigaction action {};
  action.sa_handler = CancelOnSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, &previousInt);
  ::sigaction(SIGHUP, &action, &previousHup);
  // A service manager or `kill` asks the same as Ctrl+C: stop cleanly.
  ::sigaction(SIGTERM, &action, &previousTerm);
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
  ::sigaction(SIGINT, &previousInt, nullptr);
  ::sigaction(SIGHUP, &previousHup, nullptr);
  ::sigaction(SIGTERM, &previousTerm, nullptr);
}

TerminalConsoleHost& TerminalConsoleHost::Instance() {
  static TerminalConsoleHost host;
  return host;
}
