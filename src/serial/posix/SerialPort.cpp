#include "serial/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "base/Cancellation.h"
#include "base/WakeUp.h"
#include "serial/PortDevice.h"
#include "serial/posix/LineSettings.h"

namespace pellux {

struct SerialPort::Device {
  int fd = -1;
  bool hungUp = false;  // the reader saw the line go while bytes were still there
};

namespace {
// A pseudo-terminal keeps no parity bit. The C library reports the dropped
// bit as an error once the line has been configured before, although the
// settings were applied; accept that on pseudo-terminals only.
bool ParityDroppedByPseudoTerminal(int fd, const termios& wanted) {
  struct stat info {};
  if (errno != EINVAL || ::fstat(fd, &info) != 0) return false;
  const unsigned int deviceMajor = major(info.st_rdev);
  if (deviceMajor < 136 || deviceMajor > 143) return false;
  termios applied{};
  return ::tcgetattr(fd, &applied) == 0 && cfgetospeed(&applied) == cfgetospeed(&wanted) &&
         (applied.c_cflag & CSIZE) == (wanted.c_cflag & CSIZE);
}

bool SetModemLines(int fd, int lines, bool on) {
  if (fd < 0) return false;
  return ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &lines) == 0;
}

PortWaitResult WaitForPort(int fd, short events, int timeoutMs, const CancelToken& cancel) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  const int wake = static_cast<int>(cancel.Wake().NativeHandle());
  for (;;) {
    if (cancel.IsCancelled()) return PortWaitResult::Cancelled;
    int wait = -1;
    if (timeoutMs >= 0) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return PortWaitResult::TimedOut;
      wait = static_cast<int>(left);
    }
    pollfd fds[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
    const int count = ::poll(fds, wake >= 0 ? 2 : 1, wait);
    if (count < 0) {
      if (errno == EINTR) continue;
      return PortWaitResult::Failed;
    }
    if (fds[0].revents & POLLNVAL) return PortWaitResult::Failed;
    if (fds[0].revents != 0) return PortWaitResult::Ready;
    // Otherwise the wake descriptor fired or the slice ended: check again.
  }
}
}  // namespace

SerialPort::SerialPort() : device_(std::make_unique<Device>()) {}

SerialPort::~SerialPort() {
  Close();
}

PortOpenResult SerialPort::Open(const std::string& name, const PortLine& line, std::string& path,
                                std::string& failure) {
  Close();
  const int fd = OpenPortDevice(name, path, failure);
  if (fd < 0) return PortOpenResult::OpenFailed;
  device_->fd = fd;
  device_->hungUp = false;

  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) return PortOpenResult::SettingsRefused;
  MakeRawLine(&settings);
  if (!SetLineSpeed(&settings, line.baudRate) ||
      !SetLineFormat(&settings, line.dataBits, line.parity, line.twoStopBits)) {
    return PortOpenResult::SettingsRefused;
  }
  if (::tcsetattr(fd, TCSANOW, &settings) != 0 && !ParityDroppedByPseudoTerminal(fd, settings)) {
    return PortOpenResult::SettingsRefused;
  }
  return PortOpenResult::Opened;
}

void SerialPort::Close() {
  ClosePortDevice(device_->fd);
  device_->fd = -1;
  device_->hungUp = false;
}

bool SerialPort::IsOpen() const {
  return device_->fd >= 0;
}

void SerialPort::DiscardInput() {
  if (device_->fd >= 0) ::tcflush(device_->fd, TCIFLUSH);
}

bool SerialPort::SetBaudRate(int baud) {
  termios line{};
  return device_->fd >= 0 && ::tcgetattr(device_->fd, &line) == 0 && SetLineSpeed(&line, baud) &&
         ::tcsetattr(device_->fd, TCSANOW, &line) == 0;
}

long SerialPort::ReadNow(void* buffer, size_t max) {
  for (;;) {
    const ssize_t n = ::read(device_->fd, buffer, max);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    return errno == EAGAIN ? 0 : -1;
  }
}

long SerialPort::WriteNow(const void* buffer, size_t length) {
  for (;;) {
    const ssize_t n = ::write(device_->fd, buffer, length);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    return errno == EAGAIN ? 0 : -1;
  }
}

PortWaitResult SerialPort::WaitReadable(int timeoutMs, const CancelToken& cancel) {
  return WaitForPort(device_->fd, POLLIN, timeoutMs, cancel);
}

PortWaitResult SerialPort::WaitWritable(int timeoutMs, const CancelToken& cancel) {
  return WaitForPort(device_->fd, POLLOUT, timeoutMs, cancel);
}

PortInput SerialPort::WaitForInput(const WakeUp& wake) {
  if (device_->hungUp) return PortInput::LineGone;
  const int wakeFd = static_cast<int>(wake.NativeHandle());
  for (;;) {
    pollfd fds[2] = {{device_->fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return PortInput::Failed;
    }
    if (fds[1].revents != 0) return PortInput::Woken;
    const bool gone = (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    if (fds[0].revents & POLLIN) {
      // Hand over what is there once; the next wait reports the line gone.
      device_->hungUp = gone;
      return PortInput::Arrived;
    }
    if (gone) return PortInput::LineGone;
  }
}

bool SerialPort::SetRts(bool on) {
  return SetModemLines(device_->fd, TIOCM_RTS, on);
}

bool SerialPort::SetDtr(bool on) {
  return SetModemLines(device_->fd, TIOCM_DTR, on);
}

}  // namespace pellux
