#include "serial/CRS232.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "serial/LineSettings.h"
#include "serial/PortDevice.h"
#include "serial/PortNames.h"
#include "serial/PortWait.h"

namespace {
using Clock = std::chrono::steady_clock;

bool SetModemLines(int fd, int lines, bool on) {
  if (fd < 0) return false;
  return ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &lines) == 0;
}

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
}  // namespace

CRS232::~CRS232() {
  if (fd_ >= 0) Close();
}

bool CRS232::Open() {
  if (portNumber < 1 || portNumber > 999 || baudRate < 1 || dataBits < 5 || dataBits > 9 ||
      parity < 0 || parity > 2 || !(stopBits >= 1.0f && stopBits <= 2.0f)) {
    return false;
  }
  if (fd_ >= 0) Close();  // never leak a descriptor on a second Open
  openFailure_.clear();

  const std::string name = portName.empty() ? "COM" + std::to_string(portNumber) : portName;
  std::string path;
  fd_ = OpenPortDevice(name, path, openFailure_);
  if (fd_ < 0) return false;
  devicePath_ = path;
  lastProblem_ = LineProblem::None;

  // From here a failure leaves the port open; the caller closes it.
  isOpen = 1;
  SetTimeouts(5000);

  termios settings{};
  if (::tcgetattr(fd_, &settings) != 0) return false;
  MakeRawLine(&settings);
  if (!SetLineSpeed(&settings, baudRate)) return false;
  // POSIX knows one or two stop bits; one and a half goes out as two.
  const bool twoStopBits = stopBits != 1.0f;
  if (!SetLineFormat(&settings, dataBits, parity, twoStopBits)) return false;
  if (::tcsetattr(fd_, TCSANOW, &settings) != 0 && !ParityDroppedByPseudoTerminal(fd_, settings))
    return false;
  // Devices without modem lines (pseudo-terminals) refuse this; that is fine.
  SetModemLines(fd_, TIOCM_DTR | TIOCM_RTS, lineControlOnOpen);
  // Bytes that reached the line before this open are not answers to us.
  ::tcflush(fd_, TCIFLUSH);
  return true;
}

void CRS232::SetTimeouts(int ms) {
  timeoutMs = ms < 0 ? 0 : ms;
}

CRS232::Deadline CRS232::TransferDeadline(int count) const {
  if (timeoutMs == 0) return Deadline::max();
  const long long total = static_cast<long long>(timeoutMs) * (static_cast<long long>(count) + 1);
  return Clock::now() + std::chrono::milliseconds(total);
}

int CRS232::NextWaitMs(Deadline deadline) const {
  if (deadline == Deadline::max()) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return static_cast<int>(std::min<long long>({left, timeoutMs, INT_MAX}));
}

CRS232::Transfer CRS232::ReadBytes(uint8_t* buffer, int count, Deadline deadline, int* done) {
  *done = 0;
  bool waitedReady = false;
  while (*done < count) {
    const ssize_t n = ::read(fd_, buffer + *done, static_cast<size_t>(count - *done));
    if (n > 0) {
      *done += static_cast<int>(n);
      waitedReady = false;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return Transfer::Failed;
    // Raw mode reports "nothing yet" as 0; after poll() said readable it is
    // the end of the line.
    if (waitedReady) return Transfer::Failed;
    const int wait = NextWaitMs(deadline);
    if (wait == 0) return Transfer::Quiet;
    switch (WaitForPort(fd_, POLLIN, wait)) {
      case PortWaitResult::Ready:
        waitedReady = true;
        break;
      case PortWaitResult::TimedOut:
        return Transfer::Quiet;
      case PortWaitResult::Cancelled:
        return Transfer::Cancelled;
      case PortWaitResult::Failed:
        return Transfer::Failed;
    }
  }
  return Transfer::Done;
}

CRS232::Transfer CRS232::WriteBytes(const uint8_t* buffer, int count, Deadline deadline,
                                    int* done) {
  *done = 0;
  while (*done < count) {
    const ssize_t n = ::write(fd_, buffer + *done, static_cast<size_t>(count - *done));
    if (n > 0) {
      *done += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return Transfer::Failed;
    const int wait = NextWaitMs(deadline);
    if (wait == 0) return Transfer::Quiet;
    switch (WaitForPort(fd_, POLLOUT, wait)) {
      case PortWaitResult::Ready:
        break;
      case PortWaitResult::TimedOut:
        return Transfer::Quiet;
      case PortWaitResult::Cancelled:
        return Transfer::Cancelled;
      case PortWaitResult::Failed:
        return Transfer::Failed;
    }
  }
  return Transfer::Done;
}

std::string CRS232::Description() const {
  const std::string name = portName.empty() ? "COM" + std::to_string(portNumber) : portName;
  return devicePath_.empty() ? name : name + " (" + devicePath_ + ")";
}

void CRS232::Note(Transfer result) {
  if (result == Transfer::Failed) lastProblem_ = LineProblem::HungUp;
  if (result == Transfer::Quiet) lastProblem_ = LineProblem::Quiet;
}

int CRS232::Write(int count, uint8_t* buffer) {
  lastProblem_ = LineProblem::None;
  if (buffer == nullptr) return 0;
  if (fd_ < 0 || count < 0) return -1;
  if (echoMode != 2) {
    int written = 0;
    const Transfer result = WriteBytes(buffer, count, TransferDeadline(count), &written);
    Note(result);
    if (result == Transfer::Failed) return -1;
    return written;
  }
  // Every byte sent is read back into its place: the caller sees the echo.
  for (int i = 0; i < count; ++i) {
    int written = 0;
    if (WriteBytes(buffer + i, 1, TransferDeadline(1), &written) != Transfer::Done) return -1;
    int read = 0;
    const Transfer echo = ReadBytes(buffer + i, 1, TransferDeadline(1), &read);
    if (echo == Transfer::Failed || echo == Transfer::Cancelled) return -1;
  }
  return count;
}

int CRS232::Read(int count, uint8_t* buffer) {
  lastProblem_ = LineProblem::None;
  if (buffer == nullptr) return 0;
  if (fd_ < 0 || count < 0) return -1;
  if (echoMode == 0 || echoMode == 2) {
    int read = 0;
    const Transfer result = ReadBytes(buffer, count, TransferDeadline(count), &read);
    Note(result);
    if (result == Transfer::Failed) return -1;
    return read;
  }
  if (echoMode != 1) return -1;
  // Every byte read is sent back. A quiet line ends the read with the bytes
  // that did arrive; nothing that was not received is ever echoed.
  for (int i = 0; i < count; ++i) {
    int read = 0;
    const Transfer got = ReadBytes(buffer + i, 1, TransferDeadline(1), &read);
    if (got == Transfer::Failed) return -1;
    if (got != Transfer::Done) return i;
    int written = 0;
    if (WriteBytes(buffer + i, 1, TransferDeadline(1), &written) != Transfer::Done) return -1;
  }
  return count;
}

bool CRS232::SetRts(bool on) {
  return SetModemLines(fd_, TIOCM_RTS, on);
}

bool CRS232::SetDtr(bool on) {
  return SetModemLines(fd_, TIOCM_DTR, on);
}

int CRS232::Close() {
  ClosePortDevice(fd_);
  fd_ = -1;
  isOpen = 0;
  return 0;
}
