#pragma once

#include <cstdint>

namespace pellux {

// A handle that a blocking wait sleeps on beside its device, so that another
// thread, or a signal handler, can end the wait at once. Backends: the read
// end of a non-blocking pipe (POSIX); a manual-reset event (Win32).
class WakeUp {
 public:
  WakeUp();
  ~WakeUp();
  WakeUp(const WakeUp&) = delete;
  WakeUp& operator=(const WakeUp&) = delete;

  // Wakes every present and later wait until Clear(). Safe in a signal handler.
  void Signal() noexcept;
  // Makes the handle quiet again.
  void Clear() noexcept;
  // Sleeps until signalled or `timeoutMs` has passed (negative: no limit).
  // True when signalled.
  bool Wait(int timeoutMs) const;

  // What a backend waits on together with its own handles: a descriptor
  // (POSIX) or a HANDLE (Win32). -1 when the handle could not be made; the
  // waits then fall back to their time-outs.
  std::intptr_t NativeHandle() const noexcept { return waitEnd_; }

 private:
  std::intptr_t waitEnd_ = -1;
  std::intptr_t signalEnd_ = -1;
};

}  // namespace pellux
