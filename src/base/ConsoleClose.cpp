#include "base/ConsoleClose.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "base/Cancellation.h"

namespace pellux {

namespace {
std::mutex runMutex;
std::condition_variable runEnded;
int runsInProgress = 0;
std::atomic<bool> closing{false};
}  // namespace

void JobRunStarted() {
  std::lock_guard lock(runMutex);
  ++runsInProgress;
}

void JobRunEnded() {
  std::lock_guard lock(runMutex);
  if (runsInProgress > 0) --runsInProgress;
  runEnded.notify_all();
}

bool CancelJobForClose(std::chrono::milliseconds limit) {
  // Set before the cancellation, so a run that ends because of it already
  // sees that nobody is left to press a key.
  closing.store(true, std::memory_order_release);
  JobCancellation().Cancel();
  std::unique_lock lock(runMutex);
  return runEnded.wait_for(lock, limit, [] { return runsInProgress == 0; });
}

bool ConsoleIsClosing() {
  return closing.load(std::memory_order_acquire);
}

}  // namespace pellux
