#include "base/Cancellation.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

CancelToken::CancelToken() {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    pipe_[0] = pipe_[1] = -1;
  }
}

CancelToken::~CancelToken() {
  for (int fd : pipe_) {
    if (fd >= 0) ::close(fd);
  }
}

void CancelToken::Cancel() {
  CancelFromSignal();
}

void CancelToken::CancelFromSignal() noexcept {
  if (!cancelled_.exchange(true, std::memory_order_acq_rel) && pipe_[1] >= 0) {
    const char byte = 1;
    const int saved = errno;
    [[maybe_unused]] ssize_t n = ::write(pipe_[1], &byte, 1);
    errno = saved;
  }
}

void CancelToken::Reset() {
  cancelled_.store(false, std::memory_order_release);
  char drain[64];
  while (pipe_[0] >= 0 && ::read(pipe_[0], drain, sizeof drain) > 0) {
  }
}

bool CancelToken::SleepFor(std::chrono::milliseconds duration) const {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  for (;;) {
    if (IsCancelled()) return false;
    // Rounded up, so a sleep never ends early.
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return true;
    pollfd wake{pipe_[0], POLLIN, 0};
    ::poll(&wake, pipe_[0] >= 0 ? 1 : 0, static_cast<int>(left.count()));
  }
}

CancelToken& JobCancellation() {
  static CancelToken token;
  return token;
}

bool JobCancelled() {
  return JobCancellation().IsCancelled();
}

bool CancellableSleep(int milliseconds) {
  return JobCancellation().SleepFor(std::chrono::milliseconds(milliseconds));
}
