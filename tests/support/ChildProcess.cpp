#include "ChildProcess.h"

#include "ExecProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace pellux {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env, const std::string& argv0,
                           const std::string& workingDir) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  std::map<std::string, std::optional<std::string>> variables(env.begin(), env.end());
  const ExecPlan plan(program, argv0, args, variables);
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(out[1], STDERR_FILENO);
    ::setpgid(0, 0);  // Ctrl+C in the test's terminal must not reach it
    if (!workingDir.empty() && ::chdir(workingDir.c_str()) != 0) ::_exit(126);
    plan.Exec();
  }
  ::close(in[0]);
  ::close(out[1]);
  input_ = in[1];
  output_ = out[0];
  ::fcntl(output_, F_SETFL, O_NONBLOCK);
}

ChildProcess::~ChildProcess() {
  if (!exited_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (input_ >= 0) ::close(input_);
  if (output_ >= 0) ::close(output_);
}

void ChildProcess::WriteInput(const std::string& text) {
  if (input_ >= 0) {
    [[maybe_unused]] ssize_t n = ::write(input_, text.data(), text.size());
  }
}

void ChildProcess::CloseInput() {
  if (input_ >= 0) ::close(input_);
  input_ = -1;
}

void ChildProcess::Signal(int signal) {
  if (!exited_) ::kill(pid_, signal);
}

void ChildProcess::Drain(int timeoutMs) {
  pollfd fd{output_, POLLIN, 0};
  if (::poll(&fd, 1, timeoutMs) <= 0) return;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(output_, buffer, sizeof buffer);
    if (n <= 0) break;
    collected_.append(buffer, static_cast<size_t>(n));
  }
}

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (collected_.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Drain(50);
    if (!exited_) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        Drain(0);
        return collected_.find(text) != std::string::npos;
      }
    }
  }
  return true;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!exited_) {
    Drain(20);
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      exited_ = true;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } else if (std::chrono::steady_clock::now() >= deadline) {
      return -1;
    }
  }
  Drain(0);
  return status_;
}

std::string ChildProcess::Output() {
  Drain(0);
  return collected_;
}

}  // namespace pellux
