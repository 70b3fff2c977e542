#include "CapturingConsole.h"

#include "base/Cancellation.h"

namespace pellux {

void CapturingConsole::Write(std::string_view text) {
  std::lock_guard lock(mutex_);
  output_.append(text);
  changed_.notify_all();
}

int CapturingConsole::ReadKey(const CancelToken& cancel) {
  std::unique_lock lock(mutex_);
  ++prompts_;
  changed_.notify_all();
  if (!cancel.Wait(lock, changed_, [&] { return !keys_.empty() || inputClosed_; })) return -1;
  if (keys_.empty()) return -1;
  const int key = keys_.front();
  keys_.pop_front();
  return key;
}

void CapturingConsole::PushKey(int key) {
  std::lock_guard lock(mutex_);
  keys_.push_back(key);
  changed_.notify_all();
}

void CapturingConsole::CloseInput() {
  std::lock_guard lock(mutex_);
  inputClosed_ = true;
  changed_.notify_all();
}

std::string CapturingConsole::Output() const {
  std::lock_guard lock(mutex_);
  return output_;
}

void CapturingConsole::ClearOutput() {
  std::lock_guard lock(mutex_);
  output_.clear();
}

bool CapturingConsole::WaitForOutput(const std::string& text,
                                     std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return output_.find(text) != std::string::npos; });
}

int CapturingConsole::PromptsSeen() const {
  std::lock_guard lock(mutex_);
  return prompts_;
}

CapturingConsoleHost::CapturingConsoleHost() {
  previous_ = SetConsoleHost(this);
}

CapturingConsoleHost::~CapturingConsoleHost() {
  SetConsoleHost(previous_);
}

void CapturingConsoleHost::WaitForJob(const std::function<bool()>& finished) {
  std::unique_lock lock(mutex_);
  ended_.wait(lock, finished);
}

void CapturingConsoleHost::NotifyJobEnded() {
  std::lock_guard lock(mutex_);
  ended_.notify_all();
}

ScopedActiveConsole::ScopedActiveConsole(JobConsole& console)
    : previous_(SetActiveConsole(&console)) {}

ScopedActiveConsole::~ScopedActiveConsole() {
  SetActiveConsole(previous_);
}

}  // namespace pellux
