#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/SerialPort.h"

namespace pellux {

class CancelToken;

// Line settings of an event-driven port. Parity: 0 none, 1 odd, 2 even.
// Stop bits: 1 or 2; any other value means one and a half (approximated as
// two on POSIX, which has no 1.5 setting).
struct SerialSettings {
  std::string portName;  // such as COM3 (resolved through PortNames.h)
  int baudRate = 19200;
  int dataBits = 8;
  int parity = 0;
  int stopBits = 1;
  bool overlapped = true;
};

// An event-driven serial port: a reader thread sleeps on the port and a
// wake-up handle, and calls OnReceive when bytes have arrived.
// Writes go out from the caller's thread; a write that stalls ends early
// once the token the port was handed is cancelled.
//
// Subclasses that override OnReceive must call Close() in their own
// destructor, so the reader never runs on a half-destroyed object. Close()
// joins the reader: do not call it while holding a lock that OnReceive takes.
class SerialCommunication {
 public:
  explicit SerialCommunication(const CancelToken& cancel);
  virtual ~SerialCommunication();
  SerialCommunication(const SerialCommunication&) = delete;
  SerialCommunication& operator=(const SerialCommunication&) = delete;

  void Configure(const SerialSettings& settings);
  // Opens the device, applies the settings, starts the reader.
  bool Open();
  // Stops the reader and closes the device; false when no device was open.
  bool Close();
  bool IsOpen() const;
  // After a failed Open: one line naming the port, the device and the reason.
  std::string OpenFailure() const;
  // "COM3 (/dev/pts/4)": the port's name and the device it reaches, for messages.
  std::string PortDescription() const;
  // The line hung up or failed under the reader (adapter unplugged, device
  // closed its side); stays set until the next Open.
  bool LineLost() const { return lineLost_.load(std::memory_order_acquire); }
  // The token this port's waits observe; the protocols' waits observe it too.
  const CancelToken& Cancellation() const { return cancel_; }

  bool Write(const void* buffer, size_t length, size_t* written = nullptr);
  bool WriteByte(uint8_t byte);
  // Returns at once with what the driver holds (possibly nothing).
  bool Read(void* buffer, size_t max, size_t* count);
  // Changes only the baud rate; on failure the port is closed.
  bool SetBaudRate(int baud);

  // Serial port names of this PC in natural order (COM2 before COM10).
  static std::vector<std::string> EnumeratePorts();

 protected:
  // Called on the reader thread when bytes have arrived. It must read them
  // (the reader is woken again while unread bytes wait). The default drains
  // the port and prints what arrived.
  virtual void OnReceive();
  // Called once on the reader thread when the line is lost; wake waiters here.
  virtual void OnLineLost() {}
  // Ends the reader and waits for it. The reader always ends promptly (it
  // sleeps on the wake-up handle too), so it is joined whatever `timeoutMs`
  // says: no thread is ever left running on freed state.
  void StopReader(int timeoutMs);
  // True once the reader has been asked to end (long OnReceive loops check it).
  bool StopRequested() const { return stopRequested_.load(std::memory_order_acquire); }

 private:
  struct ReaderControl;
  void ReaderLoop(std::shared_ptr<ReaderControl> control);

  const CancelToken& cancel_;
  mutable std::mutex stateMutex_;
  bool isOpen_ = false;
  SerialPort port_;
  std::shared_ptr<ReaderControl> control_;  // wake pipe and stop flag of the running reader
  std::thread reader_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> lineLost_{false};
  SerialSettings settings_;
  std::string devicePath_;
  std::string openFailure_;
};

}  // namespace pellux
