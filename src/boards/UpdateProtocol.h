#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

#include "boards/BlockFrame.h"
#include "serial/SerialCommunication.h"

namespace pellux {

// Listens to the control board in its upgrade mode: notices the board's 'C',
// answers the blocks the board sends, and posts the board's answers (EOT,
// ACK, NAK, CAN) for the job thread. The job thread sleeps on this state
// until an answer comes or the port's token is cancelled.
class UpdateProtocol : public SerialCommunication {
 public:
  explicit UpdateProtocol(const CancelToken& cancel);
  ~UpdateProtocol() override;

  // The last posted answer, set back to NoAnswer in the same step.
  AnswerCode TakeAnswer();
  bool IsStarted() const;

  // Sleeps until the board has announced upgrade mode; false when cancelled
  // or the line was lost. Waits at most `timeout` (then false as well).
  bool WaitUntilStarted(std::chrono::milliseconds timeout = std::chrono::milliseconds::max());
  // Sleeps until an answer is posted and takes it; NoAnswer when cancelled,
  // when the line was lost, or after `timeout`.
  AnswerCode WaitForAnswer(std::chrono::milliseconds timeout = std::chrono::milliseconds::max());
  // Bytes that arrived before the board's 'C' (start-up text, or noise).
  size_t BytesBeforeStart() const;

 protected:
  void OnReceive() override;
  void OnLineLost() override;

 private:
  void Post(AnswerCode code);

  mutable std::mutex lock_;
  std::condition_variable changed_;
  AnswerCode lastCode_ = AnswerCode::NoAnswer;
  bool started_ = false;
  size_t bytesBeforeStart_ = 0;
};

}  // namespace pellux
