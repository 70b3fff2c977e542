#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "base/JobConsole.h"
#include "jobs/ConsoleHost.h"

namespace pellux {

// A console for tests: records every byte written and answers key prompts
// from a script. ReadKey blocks until a key is pushed, input is closed, or
// the job is cancelled.
class CapturingConsole : public JobConsole {
 public:
  void Write(std::string_view text) override;
  int ReadKey(const CancelToken& cancel) override;
  int Columns() override { return columns; }

  void PushKey(int key);
  // From now on a prompt with no scripted key meets the end of input.
  void CloseInput();

  std::string Output() const;
  void ClearOutput();
  // Waits until the output holds `text`; false after `timeout`.
  bool WaitForOutput(const std::string& text,
                     std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
  int PromptsSeen() const;

  // The width it claims to have (0: none, as a file).
  int columns = 0;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::string output_;
  std::deque<int> keys_;
  bool inputClosed_ = false;
  int prompts_ = 0;
};

// A console host whose console is a CapturingConsole; installs itself for
// RunJobInConsole while it lives.
class CapturingConsoleHost : public ConsoleHost {
 public:
  CapturingConsoleHost();
  ~CapturingConsoleHost() override;
  JobConsole& Open() override { return console; }
  void WaitForJob(const std::function<bool()>& finished) override;
  void NotifyJobEnded() override;

  CapturingConsole console;

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  ConsoleHost* previous_ = nullptr;
};

// Makes a CapturingConsole the active console (for calling job steps directly).
class ScopedActiveConsole {
 public:
  explicit ScopedActiveConsole(JobConsole& console);
  ~ScopedActiveConsole();

 private:
  JobConsole* previous_;
};

}  // namespace pellux
