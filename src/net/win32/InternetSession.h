#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <mutex>

namespace pellux {

class CancelToken;

// The handles of one WinINet exchange, opened for asynchronous work so that
// every wait for the network also waits for `cancel`. A call that goes
// pending is finished with Complete(); a cancellation closes the
// handles, which ends the pending call, and Complete() then returns false
// with Cancelled() true. The handles are closed on every way out, children
// first, and the object lives until WinINet has let go of them.
class InternetSession {
 public:
  InternetSession(const wchar_t* userAgent, const CancelToken& cancel);
  ~InternetSession();
  InternetSession(const InternetSession&) = delete;
  InternetSession& operator=(const InternetSession&) = delete;

  HINTERNET root() const { return root_; }
  // The context value to hand to the calls that make child handles.
  DWORD_PTR context() const;
  // Keeps a child handle (connection, request, URL) to close before the root.
  HINTERNET Adopt(HINTERNET child);

  // Finishes a call that returned `started`: at once when it succeeded or
  // failed outright, else after its completion. False on failure, with the
  // error as the thread's last error, or on cancellation.
  bool Complete(BOOL started);
  // The same for a call that returns a handle (InternetOpenUrl).
  HINTERNET CompleteHandle(HINTERNET started);
  bool Cancelled() const { return cancelled_; }

  struct Events;  // shared with WinINet's callback thread

 private:
  void CloseAll();

  const CancelToken& cancel_;
  std::unique_ptr<Events> events_;
  HINTERNET root_ = nullptr;
  HINTERNET children_[2] = {nullptr, nullptr};
  bool cancelled_ = false;
  bool closed_ = false;
};

}  // namespace pellux
