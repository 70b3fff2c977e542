#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace pellux {

class CancelToken;
class WakeUp;

// Line settings applied when a port opens.
struct PortLine {
  int baudRate = 19200;
  int dataBits = 8;  // 5..8 (POSIX has no 9)
  int parity = 0;    // 0 none, 1 odd, 2 even
  bool twoStopBits = false;
};

enum class PortOpenResult {
  Opened,
  OpenFailed,       // nothing is open
  SettingsRefused,  // the device is open but refused the line settings; Close() it
};

enum class PortWaitResult { Ready, TimedOut, Cancelled, Failed };

enum class PortInput { Arrived, Woken, LineGone, Failed };

// One open serial device: the platform seam of both port classes. Each
// platform implements it in one backend file (serial/posix/SerialPort.cpp,
// serial/win32/SerialPort.cpp). Reads and writes never block; callers wait
// with WaitReadable/WaitWritable/WaitForInput, which sleep in the system.
// Not thread-safe except that one reader thread may sit in WaitForInput and
// ReadNow while another thread writes.
class SerialPort {
 public:
  SerialPort();
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens the port `name` (resolved as PortNames.h says; a device path
  // works too) for this program alone (see PortDevice.h) and applies `line`
  // in raw mode with no flow control and modem-status lines ignored. A
  // pseudo-terminal that drops the parity bit still counts as Opened.
  // `path` receives the device; on OpenFailed `failure` says why in one line.
  // An open port is closed first.
  PortOpenResult Open(const std::string& name, const PortLine& line, std::string& path,
                      std::string& failure);
  void Close();
  bool IsOpen() const;

  // Drops what arrived before now and was not read.
  void DiscardInput();

  // Changes only the speed; false when the port is closed or refuses it.
  bool SetBaudRate(int baud);

  // Bytes that the driver holds now (0: none, or the line has hung up), -1
  // on a failed call. Never waits.
  long ReadNow(void* buffer, size_t max);
  // Bytes the driver took now (0: its queue is full), -1 on a failed call.
  long WriteNow(const void* buffer, size_t length);

  // Sleeps until bytes can be read (or written), `timeoutMs` has passed
  // (negative: no limit) or `cancel` is cancelled. A hang-up or error on the
  // line counts as Ready, so that the next read or write reports it.
  PortWaitResult WaitReadable(int timeoutMs, const CancelToken& cancel);
  PortWaitResult WaitWritable(int timeoutMs, const CancelToken& cancel);

  // For a reader thread: sleeps until bytes arrive (Arrived), `wake` is
  // signalled (Woken), or the line is gone with nothing left to read (LineGone).
  PortInput WaitForInput(const WakeUp& wake);

  // Raise or drop RTS / DTR; false where the device has no modem lines.
  bool SetRts(bool on);
  bool SetDtr(bool on);

 private:
  struct Device;
  std::unique_ptr<Device> device_;
};

}  // namespace pellux
