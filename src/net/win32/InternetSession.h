#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <mutex>
#include <string_view>

namespace pellux {

class CancelToken;

// The handles of one WinINet exchange, opened for asynchronous work so that
// every wait for the network also waits for `cancel`. A call that goes
// pending is finished with Complete(); a cancellation closes the
// handles, which ends the pending call, and Complete() then returns false
// with Cancelled() true. The handles are closed on every way out, children
// first.
//
// WinINet calls back on its own threads, also after it has woken us (a
// callback still on its way out) and for handles it made on its own; a read
// that a cancellation left pending may still write its bytes after we have
// gone. So the context handed to WinINet is a number, never an address: a
// callback looks the number up and holds the state it finds while it runs,
// and a number that has ended finds nothing. Reads land in that state too,
// which lives until WinINet has closed every handle of the session.
class InternetSession {
 public:
  InternetSession(const wchar_t* userAgent, const CancelToken& cancel);
  ~InternetSession();
  InternetSession(const InternetSession&) = delete;
  InternetSession& operator=(const InternetSession&) = delete;

  HINTERNET root() const { return root_; }
  // The context value to hand to the calls that make child handles.
  DWORD_PTR context() const { return context_; }
  // Keeps a child handle (connection, request, URL) to close before the root.
  HINTERNET Adopt(HINTERNET child);

  // Finishes a call that returned `started`: at once when it succeeded or
  // failed outright, else after its completion. False on failure, with the
  // error as the thread's last error, on cancellation, or when the server
  // sent nothing for StalledTransferTimeout() (ERROR_INTERNET_TIMEOUT).
  bool Complete(BOOL started);
  // The same for a call that returns a handle (InternetOpenUrl).
  HINTERNET CompleteHandle(HINTERNET started);
  // InternetReadFile of up to `size` bytes; `data` shows them until the next
  // read, empty at the end of the reply. False as for Complete().
  bool Read(HINTERNET handle, DWORD size, std::string_view& data);
  bool Cancelled() const { return cancelled_; }

  struct State;  // shared with WinINet's threads

 private:
  void CloseAll();

  const CancelToken& cancel_;
  std::shared_ptr<State> state_;
  DWORD_PTR context_ = 0;
  HINTERNET root_ = nullptr;
  HINTERNET children_[2] = {nullptr, nullptr};
  bool cancelled_ = false;
  bool stalled_ = false;  // a wait lasted StalledTransferTimeout(): the handles are closed
  bool closed_ = false;
};

}  // namespace pellux
