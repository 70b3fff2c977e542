#pragma once

#include <atomic>
#include <condition_variable>
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
  // Derived classes must call Stop() in their own destructor: the device
  // thread calls their OnReceived, which must not run on a half-destroyed
  // object.
  virtual ~VirtualDevice();
  VirtualDevice(const VirtualDevice&) = delete;
  VirtualDevice& operator=(const VirtualDevice&) = delete;

  const std::string& Name() const { return name_; }
  // The path the program opens (map it with PUPDATE_PORT_MAP=COM3=<path>).
  const std::string& PortPath() const { return pty_->SlavePath(); }
  int LineBaudRate() const { return pty_->LineBaudRate(); }

  // Start and Stop may be called repeatedly, in any order. Stop joins the
  // device thread (called from that thread itself it only asks it to end).
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
  void HangUp();                   // close the line for good
  bool IsHungUp() const { return hungUp_.load(); }

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
  // Sends bytes to the program, applying faults and pacing. Safe from any
  // thread; does nothing once the line is hung up.
  void Send(const uint8_t* data, size_t size);
  void Send(const std::string& text);
  void Log(const std::string& line);
  // With pacing on, waits the line time of `bytes` received at the line's
  // rate (the host's bytes reach a twin at once); ends early on Stop.
  void PaceReceived(size_t bytes);

 private:
  void Loop();
  // The bytes as the program's receiver would see them.
  std::vector<uint8_t> ApplyFaults(const uint8_t* data, size_t size);
  uint8_t Garble(uint8_t byte);
  // Writes to the master, sleeping in poll() while it is full; false once
  // the device is stopping or the line is gone. Needs sendMutex_.
  bool WriteToLine(const uint8_t* data, size_t size);
  // Sleeps `microseconds` unless the device is stopping.
  void CloseLine();
  void Deliver(const uint8_t* data, size_t size);
  bool OnDeviceThread() const { return loopThread_.load() == std::this_thread::get_id(); }

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
  std::atomic<bool> stopping_{false};
  std::atomic<std::thread::id> loopThread_{};
  bool lineClosed_ = false;          // guarded by mutex_
  bool loopDone_ = true;             // guarded by mutex_
  std::condition_variable changed_;  // line closed, or stopping (ends pacing)
  std::mutex startStopMutex_;
  std::mutex sendMutex_;  // sending, the sent-byte count, the garbling state, closing the line
  size_t sentCount_ = 0;
  uint32_t garbleState_ = 0x2545F491u;
  mutable std::mutex mutex_;
  std::vector<uint8_t> received_;
  std::function<void(const std::string&)> logger_;
};
