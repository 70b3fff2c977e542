#include "net/win32/InternetSession.h"

#include "jobs/Cancellation.h"

InternetSession::InternetSession(HINTERNET root) : root_(root) {
  if (root_ != nullptr) watcher_ = std::thread([this] { Watch(); });
}

InternetSession::~InternetSession() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  finished_.notify_all();
  if (watcher_.joinable()) watcher_.join();
  if (closedByWatcher_) return;  // the root's children went with it
  for (int i = 1; i >= 0; --i) {
    if (children_[i] != nullptr) InternetCloseHandle(children_[i]);
  }
  if (root_ != nullptr) InternetCloseHandle(root_);
}

HINTERNET InternetSession::Adopt(HINTERNET child) {
  for (HINTERNET& slot : children_) {
    if (slot == nullptr) {
      slot = child;
      break;
    }
  }
  return child;
}

bool InternetSession::Cancelled() {
  std::lock_guard<std::mutex> lock(mutex_);
  return closedByWatcher_ || JobCancelled();
}

void InternetSession::Watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (JobCancellation().Wait(lock, finished_, [this] { return done_; })) return;
  // Closing the root aborts the blocked call on the other thread.
  closedByWatcher_ = true;
  InternetCloseHandle(root_);
}
