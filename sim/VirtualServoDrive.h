#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "VirtualDevice.h"

// A CSD-series servo drive as seen from its serial port. It takes frames
// STX "01#" command operands ':' check ETX (check: the byte sum from the '0'
// through the ':' modulo 16, one uppercase hexadecimal digit) and answers each
// with one status byte: 0x06 done, 0x15 check digit wrong, 0x1D refused while
// the servo is on, 0x1E value out of range, 0x1F unknown command.
//
// Commands: ETC12 (factory reset: the parameter table is emptied), TAT01
// (auto-tuning starts), STR<name><value> (one parameter). Parameter names
// have the drive's form "Pn-nn": the value starts two characters after the
// first '-'.
class VirtualServoDrive : public VirtualDevice {
 public:
  explicit VirtualServoDrive(int baudRate = 9600);
  ~VirtualServoDrive() override;

  // Values of `name` outside [min, max] (or not numbers) are refused with 0x1E.
  void SetRange(const std::string& name, double min, double max);
  void SetServoOn(bool on);
  // The line goes dead when frame number `count` (from 1) arrives, unanswered.
  void HangUpAtFrame(int count);

  // Sends an answer byte of the test's choosing (such as the 0x06 that
  // follows an error).
  void SendAnswer(uint8_t answer);

  std::map<std::string, std::string> Parameters() const;
  // Every frame received with a good check digit, without STX, "01#", check
  // and ETX: "ETC12", "STRP0-012", "TAT01".
  std::vector<std::string> Commands() const;
  int FactoryResets() const;
  bool TuningStarted() const;
  // Answer bytes sent so far, in order.
  std::vector<uint8_t> Answers() const;
  // Waits until `count` answers have been sent; false after `timeout`.
  bool WaitForAnswers(size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
  // Waits until `count` bytes have arrived at a wrong baud rate.
  bool WaitForNoise(size_t count,
                    std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

 protected:
  void OnReceived(const uint8_t* data, size_t size) override;
  void OnNoise(size_t size) override;

 private:
  void HandleFrame(const std::string& frame);
  uint8_t Execute(const std::string& command);
  void Answer(uint8_t answer);

  mutable std::mutex mutex_;
  mutable std::condition_variable answered_;
  std::mutex sendMutex_;
  bool inFrame_ = false;
  std::string frame_;
  std::map<std::string, std::pair<double, double>> ranges_;
  bool servoOn_ = false;
  std::map<std::string, std::string> parameters_;
  std::vector<std::string> commands_;
  int factoryResets_ = 0;
  bool tuningStarted_ = false;
  std::vector<uint8_t> answers_;
  size_t noiseBytes_ = 0;
  int hangUpAtFrame_ = 0;
  int frames_ = 0;
};
