#include "base/Cancellation.h"

#include <algorithm>

namespace pellux {

void CancelToken::Cancel() {
  CancelFromSignal();
}

void CancelToken::CancelFromSignal() noexcept {
  if (!cancelled_.exchange(true, std::memory_order_acq_rel)) wake_.Signal();
}

void CancelToken::Reset() {
  cancelled_.store(false, std::memory_order_release);
  wake_.Clear();
}

bool CancelToken::SleepFor(std::chrono::milliseconds duration) const {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  for (;;) {
    if (IsCancelled()) return false;
    // Rounded up, so a sleep never ends early.
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return true;
    wake_.Wait(static_cast<int>(std::min<long long>(left.count(), 24 * 3600 * 1000)));
  }
}

CancelToken& JobCancellation() {
  static CancelToken token;
  return token;
}

}  // namespace pellux
