#include "base/WakeUp.h"

#include <windows.h>

namespace pellux {

// One manual-reset event serves as both ends.
WakeUp::WakeUp() {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event != nullptr) {
    waitEnd_ = reinterpret_cast<std::intptr_t>(event);
    signalEnd_ = waitEnd_;
  }
}

WakeUp::~WakeUp() {
  if (waitEnd_ != -1) CloseHandle(reinterpret_cast<HANDLE>(waitEnd_));
}

void WakeUp::Signal() noexcept {
  if (signalEnd_ != -1) SetEvent(reinterpret_cast<HANDLE>(signalEnd_));
}

void WakeUp::Clear() noexcept {
  if (waitEnd_ != -1) ResetEvent(reinterpret_cast<HANDLE>(waitEnd_));
}

bool WakeUp::Wait(int timeoutMs) const {
  const DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
  if (waitEnd_ == -1) {
    Sleep(wait);
    return false;
  }
  return WaitForSingleObject(reinterpret_cast<HANDLE>(waitEnd_), wait) == WAIT_OBJECT_0;
}

}  // namespace pellux
