#include "app/ui/WindowConsole.h"

#include "base/Cancellation.h"

namespace pellux {

void WindowConsole::Write(std::string_view text) {
  bool notify = false;
  {
    std::lock_guard lock(mutex_);
    pending_.append(text.data(), static_cast<qsizetype>(text.size()));
    // One notification per batch: a fast progress bar must not flood the queue.
    notify = !flushScheduled_;
    flushScheduled_ = true;
  }
  if (notify) emit textPending();
}

int WindowConsole::ReadKey(const CancelToken& cancel) {
  std::unique_lock lock(mutex_);
  cancel.Wait(lock, keyArrived_, [this] { return !keys_.empty() || inputClosed_; });
  if (keys_.empty()) return -1;
  const int key = keys_.front();
  keys_.pop_front();
  return key;
}

QByteArray WindowConsole::TakePending() {
  std::lock_guard lock(mutex_);
  flushScheduled_ = false;
  QByteArray taken;
  taken.swap(pending_);
  return taken;
}

void WindowConsole::PushKey(int key) {
  {
    std::lock_guard lock(mutex_);
    keys_.push_back(key);
  }
  keyArrived_.notify_all();
}

void WindowConsole::CloseInput() {
  {
    std::lock_guard lock(mutex_);
    inputClosed_ = true;
  }
  keyArrived_.notify_all();
}

void WindowConsole::Reset() {
  std::lock_guard lock(mutex_);
  pending_.clear();
  flushScheduled_ = false;
  keys_.clear();
  inputClosed_ = false;
}

}  // namespace pellux
