#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "VirtualDevice.h"

// A step drive that answers every message from the master with a reply of a
// configured number of bytes. The script comes from the test or from a record
// file (type 1: master message, 2: the drive's reply; big-endian 16-bit
// length; data as pairs of byte and pause). After the last exchange, or once
// the line has been quiet for longer than any recorded pause, it answers the
// script from its start again, so every replay gets its replies.
class VirtualStepDrive : public VirtualDevice {
 public:
  struct Exchange {
    size_t masterBytes = 0;      // length of the master's message
    std::vector<uint8_t> reply;  // sent once the message is complete
  };

  explicit VirtualStepDrive(std::vector<Exchange> script, int baudRate = 9600);
  ~VirtualStepDrive() override;

  // The exchanges recorded in a record file (empty when it cannot be read).
  static std::vector<Exchange> ScriptFromRecordFile(const std::string& path);

  // Waits this long before each reply.
  void SetReplyDelay(std::chrono::milliseconds delay);
  // The line goes dead instead of reply number `count` (from 1).
  void HangUpAtReply(int count);

  // When each received byte arrived, and when each reply went out.
  std::vector<std::chrono::steady_clock::time_point> ArrivalTimes() const;
  std::vector<std::chrono::steady_clock::time_point> ReplyTimes() const;
  bool WaitForBytes(size_t count,
                    std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
  // Waits until `count` replies have gone out (the last byte of a message
  // arrives before its reply is sent).
  bool WaitForReplies(size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

 protected:
  void OnReceived(const uint8_t* data, size_t size) override;

 private:
  // Longer than the longest recorded pause (255 x 10 ms).
  static constexpr std::chrono::milliseconds kFreshStartAfter{3000};

  const std::vector<Exchange> script_;
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::chrono::milliseconds replyDelay_{0};
  size_t exchange_ = 0;
  size_t messageBytes_ = 0;
  int hangUpAtReply_ = 0;
  int replyCount_ = 0;
  std::vector<std::chrono::steady_clock::time_point> arrivals_;
  std::vector<std::chrono::steady_clock::time_point> replies_;
};
