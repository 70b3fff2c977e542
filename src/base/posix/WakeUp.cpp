#include "base/WakeUp.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace pellux {

WakeUp::WakeUp() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
    waitEnd_ = ends[0];
    signalEnd_ = ends[1];
  }
}

WakeUp::~WakeUp() {
  if (waitEnd_ >= 0) ::close(static_cast<int>(waitEnd_));
  if (signalEnd_ >= 0) ::close(static_cast<int>(signalEnd_));
}

void WakeUp::Signal() noexcept {
  if (signalEnd_ < 0) return;
  const int saved = errno;
  const char byte = 1;
  // A full pipe is still readable: the wake-up is not lost.
  [[maybe_unused]] ssize_t n = ::write(static_cast<int>(signalEnd_), &byte, 1);
  errno = saved;
}

void WakeUp::Clear() noexcept {
  if (waitEnd_ < 0) return;
  char drain[64];
  while (::read(static_cast<int>(waitEnd_), drain, sizeof drain) > 0) {
  }
}

bool WakeUp::Wait(int timeoutMs) const {
  pollfd wake{static_cast<int>(waitEnd_), POLLIN, 0};
  for (;;) {
    const int ready = ::poll(&wake, waitEnd_ >= 0 ? 1 : 0, timeoutMs < 0 ? -1 : timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0;
  }
}

}  // namespace pellux
