#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "base/WakeUp.h"

namespace pellux {

// Cooperative cancellation of a job. Every blocking wait of a job observes
// it and returns within 100 ms, so ports and files are closed properly.
class CancelToken {
 public:
  CancelToken() = default;
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  void Cancel();
  // Safe to call from a signal handler (atomic store and one write()).
  void CancelFromSignal() noexcept;
  void Reset();
  bool IsCancelled() const noexcept { return cancelled_.load(std::memory_order_acquire); }

  // Signalled once cancelled: waits on a device sleep on it too.
  const WakeUp& Wake() const noexcept { return wake_; }

  // Sleeps for the given time; false when cancelled before or during it.
  bool SleepFor(std::chrono::milliseconds duration) const;

  // Waits on `cv` until `ready()` holds or the job is cancelled.
  // Returns ready(). The lock must hold the mutex that guards the state.
  template <class Ready>
  bool Wait(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Ready ready) const {
    while (!ready()) {
      if (IsCancelled()) return false;
      cv.wait_for(lock, kWaitSlice);
    }
    return true;
  }

  // As Wait, but gives up after `timeout`.
  template <class Ready>
  bool WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
               std::chrono::milliseconds timeout, Ready ready) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ready()) {
      if (IsCancelled()) return false;
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return false;
      cv.wait_for(lock, std::min<std::chrono::steady_clock::duration>(kWaitSlice, deadline - now));
    }
    return true;
  }

  // Longest time a condition-variable wait sleeps before it looks at the token.
  static constexpr std::chrono::milliseconds kWaitSlice{20};

 private:
  std::atomic<bool> cancelled_{false};
  WakeUp wake_;
};

// The cancellation of the process's running job (one job at a time): the
// console runner resets it and hands it to the job, and Ctrl+C cancels it.
// Everything below the runner waits on the token it was handed.
CancelToken& JobCancellation();

}  // namespace pellux
