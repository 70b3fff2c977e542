#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "serial/SerialCommunication.h"

namespace pellux {

class JobConsole;

// The command link to a CSD-series servo drive: ASCII frames with a one-digit
// hexadecimal check, each answered by one status byte.
class CSDSeriesComm : public SerialCommunication {
 public:
  // Waits observe `cancel`; answer texts and problems go to `console`.
  CSDSeriesComm(const CancelToken& cancel, JobConsole& console);
  ~CSDSeriesComm() override;

  // STX "01#" command operand1 operand2 ':' check ETX.
  static std::string BuildDriveFrame(const std::string& command, const std::string& operand1,
                                     const std::string& operand2);

  // Sends one command byte by byte and waits for the drive's 0x06, printing
  // the text of every answer byte on the way. False when cancelled
  // first, or when the drive stayed silent or its line went away (one line
  // says which).
  bool SendDriveCommand(const std::string& command, const std::string& operand1,
                        const std::string& operand2);

  // The last byte received (0: none) and forgets it.
  uint8_t TakeLastByte();

 protected:
  void OnReceive() override;
  void OnLineLost() override;

 private:
  JobConsole& console_;
  std::mutex lock_;
  std::condition_variable received_;
  uint8_t lastByte_ = 0;
};

}  // namespace pellux
