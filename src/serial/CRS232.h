#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "serial/SerialPort.h"

namespace pellux {

class CancelToken;

// The synchronous port of the bootloader link: blocking reads and writes with
// time-outs, an optional echo discipline, and the RTS and DTR lines.
// Configuration fields are written by the caller before Open(). Every wait
// on the line ends early once the token it was handed is cancelled.
class CRS232 {
 public:
  explicit CRS232(const CancelToken& cancel) : cancel_(&cancel) {}
  virtual ~CRS232();
  CRS232(const CRS232&) = delete;
  CRS232& operator=(const CRS232&) = delete;

  // Opens COM<portNumber> (or `portName` when it is not empty) and applies
  // the fields; false without touching anything when a field is invalid.
  bool Open();
  // Read and write time-outs in milliseconds. A read ends when the line has
  // been quiet for `ms` or when `ms` per byte plus `ms` have passed in all; a
  // write may take as long. 0 means no limit (only cancellation ends the wait).
  void SetTimeouts(int ms);
  // Bytes written; 0 when buffer is null; -1 on a failed system call.
  int Write(int count, uint8_t* buffer);
  // Bytes read (fewer when the time-out expired); 0 when buffer is null; -1
  // on a failed call or an unknown echo mode. Returns early once cancelled.
  int Read(int count, uint8_t* buffer);
  // Raise or drop the lines; false where the device has no modem lines.
  bool SetRts(bool on);
  bool SetDtr(bool on);
  int Close();
  // The token later waits observe (a port that outlives one job serves the next).
  void SetCancellation(const CancelToken& cancel) { cancel_ = &cancel; }
  const CancelToken& Cancellation() const { return *cancel_; }

  // Why the last Read or Write stopped short: the line stayed quiet for the
  // time-out, or it hung up (adapter unplugged, device closed the line).
  enum class LineProblem { None, Quiet, HungUp };
  LineProblem LastProblem() const { return lastProblem_; }
  // "COM3 (/dev/ttyUSB0)": the port's name and the device it reached.
  std::string Description() const;
  // After a failed Open: one line naming the port, the device and the reason.
  const std::string& OpenFailure() const { return openFailure_; }

  int isOpen = 0;
  int portNumber = 1;  // 1..999
  int baudRate = 115200;
  int dataBits = 8;       // 5..9
  int parity = 2;         // 0 none, 1 odd, 2 even
  float stopBits = 1.0f;  // 1.0, 1.5 or 2.0
  int echoMode = 0;       // 0 plain, 1 echo every byte read, 2 read back every byte written
  bool lineControlOnOpen = false;
  int queueSize = 2048;
  std::string portName;  // a port given by name (such as "ttyUSB0") instead of a number
  int timeoutMs = 5000;

 private:
  using Deadline = std::chrono::steady_clock::time_point;
  enum class Transfer { Done, Quiet, Cancelled, Failed };

  static Transfer TransferAfter(PortWaitResult wait);
  Deadline TransferDeadline(int count) const;
  // Fills buffer[0..count) until done, quiet or the deadline; *done counts.
  Transfer ReadBytes(uint8_t* buffer, int count, Deadline deadline, int* done);
  Transfer WriteBytes(const uint8_t* buffer, int count, Deadline deadline, int* done);
  // How long the next wait may take: the quiet time, bounded by the deadline.
  int NextWaitMs(Deadline deadline) const;

  void Note(Transfer result);

  const CancelToken* cancel_;
  SerialPort port_;
  std::string devicePath_;
  std::string openFailure_;
  LineProblem lastProblem_ = LineProblem::None;
};

}  // namespace pellux
