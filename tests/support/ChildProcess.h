#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace pellux {

// A program started by a test: its standard output and error are merged and
// collected; its standard input is a pipe the test writes to (or closes).
class ChildProcess {
 public:
  // argv0 is what the program sees as its name (a job specification, say).
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env = {}, const std::string& argv0 = "",
               const std::string& workingDir = "");
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void WriteInput(const std::string& text);
  void CloseInput();
  void Signal(int signal);
  // Waits until the output holds `text`; false on time-out or exit.
  bool WaitForOutput(const std::string& text,
                     std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // Waits for the exit; returns the exit status (or 128+signal), -1 on time-out.
  int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(60));
  std::string Output();
  pid_t pid() const { return pid_; }

 private:
  void Drain(int timeoutMs);
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  int status_ = -1;
  bool exited_ = false;
  std::string collected_;
};

}  // namespace pellux
