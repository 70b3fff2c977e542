#include "serial/SerialPort.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <system_error>

#include "base/Cancellation.h"
#include "base/WakeUp.h"
#include "serial/PortNames.h"

namespace pellux {

namespace {
constexpr DWORD kQueueSize = 2048;
// A write that the driver cannot take within this time gives up (the caller
// retries within its own deadline).
constexpr DWORD kWriteTimeoutMs = 5000;

// An event for one kind of overlapped transfer.
class OverlappedEvent {
 public:
  OverlappedEvent() { overlapped_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  ~OverlappedEvent() {
    if (overlapped_.hEvent != nullptr) CloseHandle(overlapped_.hEvent);
  }
  OverlappedEvent(const OverlappedEvent&) = delete;
  OverlappedEvent& operator=(const OverlappedEvent&) = delete;
  OVERLAPPED* Fresh() {
    const HANDLE event = overlapped_.hEvent;
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = event;
    ResetEvent(event);
    return &overlapped_;
  }
  OVERLAPPED* get() { return &overlapped_; }
  HANDLE event() const { return overlapped_.hEvent; }

 private:
  OVERLAPPED overlapped_{};
};

enum class FirstByte { Arrived, Woken, TimedOut, LineGone, Failed };
}  // namespace

// Reads have no time-outs (a read waits until it has all it asked for), so
// ReadNow asks only for what the driver holds, and a wait for input is an
// overlapped read of one byte, kept here until ReadNow hands it out.
struct SerialPort::Device {
  HANDLE handle = INVALID_HANDLE_VALUE;
  OverlappedEvent read;
  OverlappedEvent write;
  char stash = 0;
  bool stashed = false;

  // Bytes waiting in the driver's input queue; -1 when the call fails.
  long Queued() const {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle, &errors, &status)) return -1;
    return static_cast<long>(status.cbInQue);
  }

  // Sleeps on a one-byte read, `wake` and the time-out.
  FirstByte WaitForFirstByte(HANDLE wake, DWORD timeoutMs) {
    DWORD got = 0;
    OVERLAPPED* overlapped = read.Fresh();
    if (ReadFile(handle, &stash, 1, &got, overlapped)) {
      stashed = got == 1;
      return stashed ? FirstByte::Arrived : FirstByte::LineGone;
    }
    if (GetLastError() != ERROR_IO_PENDING) return FirstByte::Failed;
    HANDLE handles[2] = {read.event(), wake};
    const DWORD result = WaitForMultipleObjects(wake != nullptr ? 2 : 1, handles, FALSE, timeoutMs);
    // Woken or timed out: take the read back; a byte it did get is kept.
    if (result != WAIT_OBJECT_0) CancelIoEx(handle, overlapped);
    if (!GetOverlappedResult(handle, overlapped, &got, TRUE) &&
        GetLastError() != ERROR_OPERATION_ABORTED) {
      return result == WAIT_OBJECT_0 ? FirstByte::LineGone : FirstByte::Failed;
    }
    stashed = got == 1;
    if (stashed) return FirstByte::Arrived;
    if (result == WAIT_OBJECT_0) return FirstByte::LineGone;  // ended with nothing
    return result == WAIT_OBJECT_0 + 1 ? FirstByte::Woken : FirstByte::TimedOut;
  }
};

namespace {
HANDLE WakeHandle(const WakeUp& wake) {
  return wake.NativeHandle() == -1 ? nullptr : reinterpret_cast<HANDLE>(wake.NativeHandle());
}

bool SameLineExceptParity(HANDLE handle, const DCB& wanted) {
  DCB applied{};
  applied.DCBlength = sizeof applied;
  return GetCommState(handle, &applied) && applied.BaudRate == wanted.BaudRate &&
         applied.ByteSize == wanted.ByteSize && applied.Parity == NOPARITY;
}

bool ApplyLine(HANDLE handle, const PortLine& line) {
  if (line.dataBits < 5 || line.dataBits > 8 || line.parity < 0 || line.parity > 2) return false;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!SetupComm(handle, kQueueSize, kQueueSize) || !GetCommState(handle, &dcb)) return false;
  dcb.BaudRate = static_cast<DWORD>(line.baudRate);
  dcb.ByteSize = static_cast<BYTE>(line.dataBits);
  dcb.Parity = line.parity == 0 ? NOPARITY : line.parity == 1 ? ODDPARITY : EVENPARITY;
  dcb.StopBits = line.twoStopBits ? TWOSTOPBITS : ONESTOPBIT;
  // Raw bytes, no flow control, modem-status lines ignored.
  dcb.fBinary = TRUE;
  dcb.fParity = line.parity != 0;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb.fRtsControl == RTS_CONTROL_TOGGLE) {
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
  }
  if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE) dcb.fDtrControl = DTR_CONTROL_ENABLE;
  if (SetCommState(handle, &dcb)) return true;
  // A pseudo-terminal behind the port (Wine) keeps no parity bit and refuses
  // it once the line has had it; everything else has been applied.
  return line.parity != 0 && GetLastError() == ERROR_INVALID_PARAMETER &&
         SameLineExceptParity(handle, dcb);
}

bool SetTimeouts(HANDLE handle) {
  COMMTIMEOUTS timeouts{};
  timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
  return SetCommTimeouts(handle, &timeouts) != FALSE;
}
}  // namespace

SerialPort::SerialPort() : device_(std::make_unique<Device>()) {}

SerialPort::~SerialPort() {
  Close();
}

PortOpenResult SerialPort::Open(const std::string& name, const PortLine& line, std::string& path,
                                std::string& failure) {
  Close();
  path = ResolvePortName(name);
  if (path.empty()) {
    failure = "there is no port called " + name;
    return PortOpenResult::OpenFailed;
  }
  // No sharing: the port is this program's alone while it is open.
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    failure = error == ERROR_ACCESS_DENIED
                  ? path + " is in use by another program"
                  : path + " cannot be opened: " +
                        std::system_category().message(static_cast<int>(error));
    return PortOpenResult::OpenFailed;
  }
  device_->handle = handle;
  if (!ApplyLine(handle, line) || !SetTimeouts(handle)) return PortOpenResult::SettingsRefused;
  return PortOpenResult::Opened;
}

void SerialPort::Close() {
  if (device_->handle != INVALID_HANDLE_VALUE) {
    CancelIoEx(device_->handle, nullptr);
    CloseHandle(device_->handle);
  }
  device_->handle = INVALID_HANDLE_VALUE;
  device_->stashed = false;
}

bool SerialPort::IsOpen() const {
  return device_->handle != INVALID_HANDLE_VALUE;
}

void SerialPort::DiscardInput() {
  if (!IsOpen()) return;
  device_->stashed = false;
  PurgeComm(device_->handle, PURGE_RXCLEAR);
}

bool SerialPort::SetBaudRate(int baud) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!IsOpen() || baud < 1 || !GetCommState(device_->handle, &dcb)) return false;
  dcb.BaudRate = static_cast<DWORD>(baud);
  return SetCommState(device_->handle, &dcb) != FALSE;
}

long SerialPort::ReadNow(void* buffer, size_t max) {
  if (!IsOpen()) return -1;
  Device& device = *device_;
  if (max == 0) return 0;
  auto* bytes = static_cast<char*>(buffer);
  long taken = 0;
  if (device.stashed) {
    bytes[0] = device.stash;
    device.stashed = false;
    taken = 1;
  }
  const long queued = device.Queued();
  if (queued < 0) return taken > 0 ? taken : -1;
  const DWORD wanted =
      static_cast<DWORD>(std::min<size_t>(max - static_cast<size_t>(taken), queued));
  if (wanted == 0) return taken;
  // The driver holds these bytes: the read completes at once.
  DWORD got = 0;
  OVERLAPPED* overlapped = device.read.Fresh();
  if (!ReadFile(device.handle, bytes + taken, wanted, &got, overlapped)) {
    if (GetLastError() != ERROR_IO_PENDING ||
        !GetOverlappedResult(device.handle, overlapped, &got, TRUE)) {
      return taken > 0 ? taken : -1;
    }
  }
  return taken + static_cast<long>(got);
}

long SerialPort::WriteNow(const void* buffer, size_t length) {
  if (!IsOpen()) return -1;
  DWORD written = 0;
  OVERLAPPED* overlapped = device_->write.Fresh();
  const DWORD count = static_cast<DWORD>(std::min<size_t>(length, MAXDWORD));
  if (!WriteFile(device_->handle, buffer, count, &written, overlapped)) {
    if (GetLastError() != ERROR_IO_PENDING) return -1;
    // Bounded by the write time-out; the buffer must outlive the transfer.
    if (!GetOverlappedResult(device_->handle, overlapped, &written, TRUE)) {
      return GetLastError() == ERROR_SEM_TIMEOUT ? static_cast<long>(written) : -1;
    }
  }
  return static_cast<long>(written);
}

PortWaitResult SerialPort::WaitReadable(int timeoutMs, const CancelToken& cancel) {
  if (!IsOpen()) return PortWaitResult::Failed;
  if (cancel.IsCancelled()) return PortWaitResult::Cancelled;
  if (device_->stashed || device_->Queued() > 0) return PortWaitResult::Ready;
  const DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
  switch (device_->WaitForFirstByte(WakeHandle(cancel.Wake()), wait)) {
    case FirstByte::Arrived:
    case FirstByte::LineGone:  // the next read reports it
      return PortWaitResult::Ready;
    case FirstByte::TimedOut:
      return cancel.IsCancelled() ? PortWaitResult::Cancelled : PortWaitResult::TimedOut;
    case FirstByte::Woken:
      return PortWaitResult::Cancelled;
    case FirstByte::Failed:
      break;
  }
  return PortWaitResult::Failed;
}

PortWaitResult SerialPort::WaitWritable(int /*timeoutMs*/, const CancelToken& cancel) {
  // WriteNow waits for the driver itself, bounded by the write time-out.
  if (!IsOpen()) return PortWaitResult::Failed;
  return cancel.IsCancelled() ? PortWaitResult::Cancelled : PortWaitResult::Ready;
}

PortInput SerialPort::WaitForInput(const WakeUp& wake) {
  if (!IsOpen()) return PortInput::Failed;
  if (device_->stashed || device_->Queued() > 0) return PortInput::Arrived;
  switch (device_->WaitForFirstByte(WakeHandle(wake), INFINITE)) {
    case FirstByte::Arrived:
      return PortInput::Arrived;
    case FirstByte::Woken:
      return PortInput::Woken;
    case FirstByte::LineGone:
      return PortInput::LineGone;
    case FirstByte::TimedOut:
    case FirstByte::Failed:
      break;
  }
  return PortInput::Failed;
}

bool SerialPort::SetRts(bool on) {
  return IsOpen() && EscapeCommFunction(device_->handle, on ? SETRTS : CLRRTS) != FALSE;
}

bool SerialPort::SetDtr(bool on) {
  return IsOpen() && EscapeCommFunction(device_->handle, on ? SETDTR : CLRDTR) != FALSE;
}

}  // namespace pellux
