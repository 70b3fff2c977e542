#pragma once

#include <windows.h>
#include <wininet.h>

#include <condition_variable>
#include <mutex>
#include <thread>

// The handles of one WinINet exchange. While the session lives, a watcher
// thread waits for the job's cancellation; a cancelled job closes the root
// handle from there, which ends any call blocked on it or on its children
// at once. The handles are closed on every way out, children first.
class InternetSession {
 public:
  InternetSession(HINTERNET root);
  ~InternetSession();
  InternetSession(const InternetSession&) = delete;
  InternetSession& operator=(const InternetSession&) = delete;

  HINTERNET root() const { return root_; }
  // Keeps a child handle (connection, request, URL) to close before the root.
  HINTERNET Adopt(HINTERNET child);
  // True when the job was cancelled and the handles were closed under the caller.
  bool Cancelled();

 private:
  void Watch();

  HINTERNET root_;
  HINTERNET children_[2] = {nullptr, nullptr};
  std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  bool closedByWatcher_ = false;
  std::thread watcher_;
};
