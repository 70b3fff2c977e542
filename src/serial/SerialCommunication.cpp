#include "serial/SerialCommunication.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "jobs/JobConsole.h"
#include "serial/LineSettings.h"
#include "serial/PortDevice.h"
#include "serial/PortEnumeration.h"
#include "serial/PortNames.h"
#include "serial/PortWait.h"

namespace {
// A write that makes no progress for this long fails: the other end has
// stopped reading (dialogs write outside any job, so cancellation alone
// cannot end such a wait).
constexpr int kWriteStallMs = 5000;
constexpr size_t kReceiveChunk = 1024;
}  // namespace

SerialCommunication::SerialCommunication() = default;

SerialCommunication::~SerialCommunication() {
  Close();
}

void SerialCommunication::Configure(const SerialSettings& settings) {
  std::lock_guard lock(stateMutex_);
  settings_ = settings;
}

bool SerialCommunication::ApplySettings(int fd) const {
  termios line{};
  if (::tcgetattr(fd, &line) != 0) return false;
  MakeRawLine(&line);
  if (!SetLineSpeed(&line, settings_.baudRate)) return false;
  // 1 and 2 are what they say; anything else asks for one and a half, which
  // POSIX does not have: two is the nearest.
  if (!SetLineFormat(&line, settings_.dataBits, settings_.parity, settings_.stopBits != 1)) {
    return false;
  }
  return ::tcsetattr(fd, TCSANOW, &line) == 0;
}

// What the reader thread needs beyond the object: shared, so that a reader
// that was let go by a Close from inside OnReceive never sees them freed.
struct SerialCommunication::ReaderControl {
  int wake[2] = {-1, -1};
  std::atomic<bool> stop{false};
  ~ReaderControl() {
    for (int fd : wake) {
      if (fd >= 0) ::close(fd);
    }
  }
};

bool SerialCommunication::Open() {
  if (IsOpen() || fd_ >= 0) Close();
  SerialSettings settings;
  {
    std::lock_guard lock(stateMutex_);
    settings = settings_;
  }
  std::string path;
  std::string failure;
  const int fd = OpenPortDevice(settings.portName, path, failure);
  if (fd < 0) {
    std::lock_guard lock(stateMutex_);
    openFailure_ = failure;
    return false;
  }
  auto control = std::make_shared<ReaderControl>();
  if (!ApplySettings(fd) || ::pipe2(control->wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    ClosePortDevice(fd);
    std::lock_guard lock(stateMutex_);
    openFailure_ = "Port " + settings.portName + " (" + path +
                   "): the line settings were refused (" + std::to_string(settings.baudRate) +
                   " bit/s).";
    return false;
  }
  // Bytes that reached the line before this open (a device's last answer to
  // the previous program) are not ours.
  ::tcflush(fd, TCIFLUSH);
  fd_ = fd;
  {
    std::lock_guard lock(stateMutex_);
    devicePath_ = path;
  }
  lineLost_.store(false, std::memory_order_release);
  control_ = control;
  stopRequested_.store(false, std::memory_order_release);
  // The reader waits for this lock before its first OnReceive, so a Close
  // from inside OnReceive (bytes already waiting on the line) finds reader_
  // assigned and the port marked open, and its "closed" is not overwritten.
  std::lock_guard lock(stateMutex_);
  reader_ = std::thread([this, control, fd] {
    { std::lock_guard opened(stateMutex_); }
    ReaderLoop(control, fd);
  });
  isOpen_ = true;
  return true;
}

void SerialCommunication::StopReader(int /*timeoutMs*/) {
  if (!reader_.joinable()) return;
  stopRequested_.store(true, std::memory_order_release);
  if (control_) {
    control_->stop.store(true, std::memory_order_release);
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(control_->wake[1], &byte, 1);
  }
  if (reader_.get_id() == std::this_thread::get_id()) {
    // Closed from inside OnReceive: the loop ends as soon as that returns,
    // touching only its shared control block.
    reader_.detach();
  } else {
    reader_.join();
  }
  control_.reset();
}

bool SerialCommunication::Close() {
  StopReader(100);
  const bool wasOpen = fd_ >= 0;
  if (wasOpen) ClosePortDevice(fd_);
  fd_ = -1;
  // Last, so that whoever sees the port closed also sees the descriptor gone.
  std::lock_guard lock(stateMutex_);
  isOpen_ = false;
  return wasOpen;
}

std::string SerialCommunication::OpenFailure() const {
  std::lock_guard lock(stateMutex_);
  return openFailure_;
}

std::string SerialCommunication::PortDescription() const {
  std::lock_guard lock(stateMutex_);
  const std::string path = devicePath_.empty() ? ResolvePortName(settings_.portName) : devicePath_;
  return path.empty() ? settings_.portName : settings_.portName + " (" + path + ")";
}

bool SerialCommunication::IsOpen() const {
  std::lock_guard lock(stateMutex_);
  return isOpen_;
}

bool SerialCommunication::Write(const void* buffer, size_t length, size_t* written) {
  size_t local = 0;
  size_t& done = written != nullptr ? *written : local;
  done = 0;
  if (fd_ < 0 || (buffer == nullptr && length > 0)) return false;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  while (done < length) {
    const ssize_t n = ::write(fd_, bytes + done, length - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;
    if (WaitForPort(fd_, POLLOUT, kWriteStallMs) != PortWaitResult::Ready) return false;
  }
  return true;
}

bool SerialCommunication::WriteByte(uint8_t byte) {
  return Write(&byte, 1);
}

bool SerialCommunication::Read(void* buffer, size_t max, size_t* count) {
  size_t local = 0;
  size_t& got = count != nullptr ? *count : local;
  got = 0;
  if (fd_ < 0 || (buffer == nullptr && max > 0)) return false;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, max);
    if (n >= 0) {
      got = static_cast<size_t>(n);
      return true;
    }
    if (errno == EINTR) continue;
    return errno == EAGAIN;
  }
}

bool SerialCommunication::SetBaudRate(int baud) {
  termios line{};
  if (fd_ >= 0 && ::tcgetattr(fd_, &line) == 0 && SetLineSpeed(&line, baud) &&
      ::tcsetattr(fd_, TCSANOW, &line) == 0) {
    std::lock_guard lock(stateMutex_);
    settings_.baudRate = baud;
    return true;
  }
  Close();
  return false;
}

void SerialCommunication::OnReceive() {
  char chunk[kReceiveChunk];
  size_t count = 0;
  while (!StopRequested() && Read(chunk, sizeof chunk, &count) && count > 0) {
    ConsoleWrite(std::string_view(chunk, count));
  }
}

void SerialCommunication::ReaderLoop(std::shared_ptr<ReaderControl> control, int port) {
  const int wake = control->wake[0];
  const auto stopped = [&] { return control->stop.load(std::memory_order_acquire); };
  while (!stopped()) {
    pollfd fds[2] = {{port, POLLIN, 0}, {wake, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents != 0 || stopped()) break;
    if (fds[0].revents & POLLIN) OnReceive();
    if (stopped()) break;
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      lineLost_.store(true, std::memory_order_release);
      OnLineLost();
      // The line is gone: sleep until Close instead of spinning on it.
      pollfd stop{wake, POLLIN, 0};
      while (!stopped() && ::poll(&stop, 1, -1) < 0 && errno == EINTR) {
      }
      break;
    }
  }
}

std::vector<std::string> SerialCommunication::EnumeratePorts() {
  return EnumeratePortsIn("/sys/class/tty");
}
