#include "serial/CRS232.h"

#include <algorithm>
#include <climits>

#include "serial/PortNames.h"

namespace pellux {

namespace {
using Clock = std::chrono::steady_clock;
}  // namespace

CRS232::~CRS232() {
  if (port_.IsOpen()) Close();
}

bool CRS232::Open() {
  if (portNumber < 1 || portNumber > 999 || baudRate < 1 || dataBits < 5 || dataBits > 9 ||
      parity < 0 || parity > 2 || !(stopBits >= 1.0f && stopBits <= 2.0f)) {
    return false;
  }
  if (port_.IsOpen()) Close();  // never leak a descriptor on a second Open
  openFailure_.clear();

  const std::string name = portName.empty() ? "COM" + std::to_string(portNumber) : portName;
  std::string path;
  // POSIX knows one or two stop bits; one and a half goes out as two.
  const PortLine line{baudRate, dataBits, parity, stopBits != 1.0f};
  const PortOpenResult opened = port_.Open(name, line, path, openFailure_);
  if (opened == PortOpenResult::OpenFailed) return false;
  devicePath_ = path;
  lastProblem_ = LineProblem::None;

  // From here a failure leaves the port open; the caller closes it.
  isOpen = 1;
  SetTimeouts(5000);
  if (opened != PortOpenResult::Opened) return false;
  // Devices without modem lines (pseudo-terminals) refuse this; that is fine.
  port_.SetDtr(lineControlOnOpen);
  port_.SetRts(lineControlOnOpen);
  // Bytes that reached the line before this open are not answers to us.
  port_.DiscardInput();
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

// How a transfer ends when its wait ended without the port being ready.
CRS232::Transfer CRS232::TransferAfter(PortWaitResult wait) {
  switch (wait) {
    case PortWaitResult::TimedOut:
      return Transfer::Quiet;
    case PortWaitResult::Cancelled:
      return Transfer::Cancelled;
    default:
      return Transfer::Failed;
  }
}

CRS232::Transfer CRS232::ReadBytes(uint8_t* buffer, int count, Deadline deadline, int* done) {
  *done = 0;
  bool waitedReady = false;
  while (*done < count) {
    const long n = port_.ReadNow(buffer + *done, static_cast<size_t>(count - *done));
    if (n > 0) {
      *done += static_cast<int>(n);
      waitedReady = false;
      continue;
    }
    if (n < 0) return Transfer::Failed;
    // Raw mode reports "nothing yet" as 0; after poll() said readable it is
    // the end of the line.
    if (waitedReady) return Transfer::Failed;
    const int wait = NextWaitMs(deadline);
    if (wait == 0) return Transfer::Quiet;
    const PortWaitResult ready = port_.WaitReadable(wait, *cancel_);
    if (ready != PortWaitResult::Ready) return TransferAfter(ready);
    waitedReady = true;
  }
  return Transfer::Done;
}

CRS232::Transfer CRS232::WriteBytes(const uint8_t* buffer, int count, Deadline deadline,
                                    int* done) {
  *done = 0;
  while (*done < count) {
    const long n = port_.WriteNow(buffer + *done, static_cast<size_t>(count - *done));
    if (n > 0) {
      *done += static_cast<int>(n);
      continue;
    }
    if (n < 0) return Transfer::Failed;
    const int wait = NextWaitMs(deadline);
    if (wait == 0) return Transfer::Quiet;
    const PortWaitResult ready = port_.WaitWritable(wait, *cancel_);
    if (ready != PortWaitResult::Ready) return TransferAfter(ready);
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
  if (!port_.IsOpen() || count < 0) return -1;
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
  if (!port_.IsOpen() || count < 0) return -1;
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
  return port_.SetRts(on);
}

bool CRS232::SetDtr(bool on) {
  return port_.SetDtr(on);
}

int CRS232::Close() {
  port_.Close();
  isOpen = 0;
  return 0;
}

}  // namespace pellux
