#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "serial/SerialCommunication.h"

namespace pellux {

// Adds nothing; kept as the common base of the board command protocols.
class COldBoardProtocol {};

// The running control board's command protocol: text commands framed as
// STX "%03d:%03d:%s\n" ETX check (sequence number, command group, text;
// check = XOR of the payload OR 0x80); answers come back between '{' and '}'.
class CCamVer1 : public SerialCommunication, public COldBoardProtocol {
 public:
  // The command group of every command this program sends.
  static constexpr int kCommandGroup = 159;

  // Its port's waits observe `cancel`.
  explicit CCamVer1(const CancelToken& cancel);
  ~CCamVer1() override;

  // A frame with the process-wide sequence number (which then advances,
  // 255 wrapping to 0) and the command group 159.
  static std::string BuildCommandFrame(const std::string& text);
  static std::string FormatCommandFrame(uint8_t sequence, int group, const std::string& text);

  // Sends a frame with this object's own sequence number (which then
  // advances) and also prints it.
  void SendCommand(int group, const std::string& text);

  // True once per complete answer.
  bool TakeAnswerReady();
  std::string AnswerText() const;
  // Called on the reader thread whenever an answer has become ready (to wake
  // a waiting dialog); pass an empty function to stop.
  void SetAnswerListener(std::function<void()> listener);

  // "number,text" lines; the number of entries read, -1 when unreadable.
  virtual int LoadStringTable(const std::string& path);

  // One received byte through the receive table (OnReceive calls it for
  // every byte; tests feed it directly).
  void ReceiveByte(uint8_t byte);

 protected:
  void OnReceive() override;
  virtual void HandleCharacter(uint8_t byte);

 private:
  struct Token {
    bool open = false;
    std::string text;
  };

  // Reader-thread state.
  Token registerToken_;
  Token numberToken_;
  std::string lineBuffer_;

  mutable std::mutex answerLock_;
  bool answerCollecting_ = false;
  bool answerReady_ = false;
  std::string answerText_;
  std::function<void()> answerListener_;

  std::map<int, std::string> stringTable_;
  uint8_t frameSequence_ = 0;
};

}  // namespace pellux
