#include "serial/PortWait.h"

#include <poll.h>

#include <cerrno>
#include <chrono>

#include "base/Cancellation.h"

PortWaitResult WaitForPort(int fd, short events, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  const CancelToken& cancel = JobCancellation();
  for (;;) {
    if (cancel.IsCancelled()) return PortWaitResult::Cancelled;
    int wait = -1;
    if (timeoutMs >= 0) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return PortWaitResult::TimedOut;
      wait = static_cast<int>(left);
    }
    pollfd fds[2] = {{fd, events, 0}, {cancel.WakeFd(), POLLIN, 0}};
    const int count = ::poll(fds, cancel.WakeFd() >= 0 ? 2 : 1, wait);
    if (count < 0) {
      if (errno == EINTR) continue;
      return PortWaitResult::Failed;
    }
    if (fds[0].revents & POLLNVAL) return PortWaitResult::Failed;
    if (fds[0].revents != 0) return PortWaitResult::Ready;
    // Otherwise the wake descriptor fired or the slice ended: check again.
  }
}
