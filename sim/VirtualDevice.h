#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PtyPair.h"

// Base of the virtual devices: owns a pseudo-terminal pair and a thread that
// sleeps in poll() on the master side. Received bytes reach OnReceived only
// when the program's line runs at the settings the device expects; bytes sent
// at another baud rate arrive as line noise (garbled), as on real hardware.
// Faults can be switched on at any time from another thread.
class VirtualDevice {
 public:
  explicit VirtualDevice(std::string name);
  virtual ~VirtualDevice();  // derived classes call Stop() in their destructor
  VirtualDevice(const VirtualDevice&) = delete;
  VirtualDevice& operator=(const VirtualDevice&) = delete;

  const std::string& Name() const { return name_; }
  // The path the program opens (map it with PUPDATE_PORT_MAP=COM3=<path>).
  const std::string& PortPath() const { return pty_->SlavePath(); }
  int LineBaudRate() const { return pty_->LineBaudRate(); }

  void Start();
  void Stop();

  // Line settings the device listens at; 0 accepts any baud rate.
  void SetExpectedBaud(int baud);
  // Pace sent bytes at the real line rate (10 bits per byte).
  void SetPacing(bool realLineRate);

  // Faults.
  void SetSilent(bool silent);     // receives, never answers
  void SetDropEveryNth(int n);     // drop every n-th sent byte (0: off)
  void SetCorruptEveryNth(int n);  // flip bits of every n-th sent byte (0: off)
  void SetNoise(bool on);          // garble every sent byte
  void HangUp();                   // close the line

  // Everything received (after the baud check), for assertions.
  std::vector<uint8_t> Received() const;
  void ClearReceived();

  // Log lines of state changes (board reset, upgrade mode, bytes flashed ...).
  void SetLogger(std::function<void(const std::string&)> logger);

 protected:
  // Called on the device thread with bytes received at the expected settings.
  virtual void OnReceived(const uint8_t* data, size_t size) = 0;
  // Called on the device thread with bytes received at the wrong baud rate.
  virtual void OnNoise(size_t size) {}
  // Sends bytes to the program, applying faults and pacing.
  void Send(const uint8_t* data, size_t size);
  void Send(const std::string& text);
  void Log(const std::string& line);

 private:
  void Loop();

  std::string name_;
  std::unique_ptr<PtyPair> pty_;
  std::thread thread_;
  int stopPipe_[2] = {-1, -1};
  std::atomic<int> expectedBaud_{0};
  std::atomic<bool> pacing_{false};
  std::atomic<bool> silent_{false};
  std::atomic<int> dropEvery_{0};
  std::atomic<int> corruptEvery_{0};
  std::atomic<bool> noise_{false};
  std::atomic<bool> hungUp_{false};
  size_t sentCount_ = 0;
  mutable std::mutex mutex_;
  std::vector<uint8_t> received_;
  std::function<void(const std::string&)> logger_;
};
