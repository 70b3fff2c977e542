#pragma once

#include <condition_variable>
#include <mutex>

#include "boards/BlockFrame.h"
#include "serial/SerialCommunication.h"

class CancelToken;

// Listens to the control board in its upgrade mode: notices the board's 'C',
// answers the blocks the board sends, and posts the board's answers (EOT,
// ACK, NAK, CAN) for the job thread. The job thread sleeps on this state.
class UpdateProtocol : public SerialCommunication {
 public:
  UpdateProtocol();
  ~UpdateProtocol() override;

  // The last posted answer, set back to NoAnswer in the same step.
  AnswerCode TakeAnswer();
  bool IsStarted() const;

  // Sleeps until the board has announced upgrade mode; false when cancelled.
  bool WaitUntilStarted(const CancelToken& cancel);
  // Sleeps until an answer is posted and takes it; NoAnswer when cancelled.
  AnswerCode WaitForAnswer(const CancelToken& cancel);

 protected:
  void OnReceive() override;

 private:
  void Post(AnswerCode code);

  mutable std::mutex lock_;
  std::condition_variable changed_;
  AnswerCode lastCode_ = AnswerCode::NoAnswer;
  bool started_ = false;
};
