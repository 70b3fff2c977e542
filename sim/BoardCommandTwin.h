#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "RunningFirmware.h"

// The running control board's command handling: frames STX payload ETX check
// with the payload "sss:ggg:text\n" and check = XOR of the payload OR 0x80.
// Frames with a wrong check byte are dropped unanswered. It answers
//   "1"  with {PUNCH_POS/p1/.../pn} (9 positions on an NR2 board, 6 on R1PS),
//   "3"  with {PRESS_SPEED/s} (NR2 only),
// and stores "2,p1,...,pn" and "4,s" without answering.
class BoardCommandTwin : public RunningFirmware {
 public:
  enum class Model { kNR2, kR1PS };

  explicit BoardCommandTwin(Model model);

  void OnByte(uint8_t byte, const std::function<void(const std::string&)>& send) override;

  // Receives but never answers.
  void SetSilent(bool silent);
  // Sent before every answer: plain text lines and tokens, as a board prints.
  void SetChatter(const std::string& text);
  // Replaces the text between the braces of the punch answer.
  void SetPunchAnswer(std::optional<std::string> text);

  std::vector<std::string> PunchPositions() const;
  std::string PressSpeed() const;
  void SetPunchPositions(std::vector<std::string> positions);
  void SetPressSpeed(std::string speed);

  // Texts of the frames accepted, in order; frames dropped for their check.
  std::vector<std::string> Commands() const;
  std::vector<int> Sequences() const;
  int BadFrames() const;
  // 0x0F bytes seen (sent before a query).
  int Wakeups() const;
  bool WaitForCommands(size_t count,
                       std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

 private:
  void HandleFrame(const std::string& payload, const std::function<void(const std::string&)>& send);

  enum class FrameState { kIdle, kPayload, kCheck };

  const Model model_;
  FrameState state_ = FrameState::kIdle;
  std::string payload_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool silent_ = false;
  std::string chatter_;
  std::optional<std::string> punchAnswer_;
  std::vector<std::string> punchPositions_;
  std::string pressSpeed_ = "120.000000";
  std::vector<std::string> commands_;
  std::vector<int> sequences_;
  int badFrames_ = 0;
  int wakeups_ = 0;
};
