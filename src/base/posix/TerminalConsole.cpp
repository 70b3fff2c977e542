#include "base/TerminalConsole.h"

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/Cancellation.h"

namespace pellux {

namespace {
struct sigaction previousInt;
struct sigaction previousHup;
struct sigaction previousTerm;

void CancelOnSignal(int) {
  JobCancellation().CancelFromSignal();
}
}  // namespace

void TerminalConsole::Write(std::string_view text) {
  std::lock_guard lock(writeMutex_);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

int TerminalConsole::ReadKey(const CancelToken& cancel) {
  std::fflush(stdout);
  for (;;) {
    if (cancel.IsCancelled()) return -1;
    const int wake = static_cast<int>(cancel.Wake().NativeHandle());
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wake, POLLIN, 0}};
    const int ready = ::poll(fds, wake >= 0 ? 2 : 1, 100);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (cancel.IsCancelled()) return -1;
    if (fds[0].revents == 0) continue;
    const bool terminal = ::isatty(STDIN_FILENO) != 0;
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, terminal ? sizeof buffer : 1);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return -1;
    return static_cast<unsigned char>(buffer[0]);
  }
}

int TerminalConsole::Columns() {
  winsize size{};
  if (::isatty(STDOUT_FILENO) == 0 || ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

void CancelJobOnInterrupt() {
  struct sigaction action {};
  action.sa_handler = CancelOnSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, &previousInt);
  ::sigaction(SIGHUP, &action, &previousHup);
  // A service manager or `kill` asks the same as Ctrl+C: stop cleanly.
  ::sigaction(SIGTERM, &action, &previousTerm);
}

void RestoreInterruptHandling() {
  ::sigaction(SIGINT, &previousInt, nullptr);
  ::sigaction(SIGHUP, &previousHup, nullptr);
  ::sigaction(SIGTERM, &previousTerm, nullptr);
}

TerminalConsole& TerminalConsole::Instance() {
  static TerminalConsole console;
  return console;
}

}  // namespace pellux
