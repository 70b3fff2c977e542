#include "boards/UpdateProtocol.h"

#include <cstdint>

#include "base/Cancellation.h"

namespace pellux {

UpdateProtocol::UpdateProtocol(const CancelToken& cancel) : SerialCommunication(cancel) {}

UpdateProtocol::~UpdateProtocol() {
  Close();
}

AnswerCode UpdateProtocol::TakeAnswer() {
  std::lock_guard guard(lock_);
  const AnswerCode code = lastCode_;
  lastCode_ = AnswerCode::NoAnswer;
  return code;
}

bool UpdateProtocol::IsStarted() const {
  std::lock_guard guard(lock_);
  return started_;
}

bool UpdateProtocol::WaitUntilStarted(std::chrono::milliseconds timeout) {
  const CancelToken& cancel = Cancellation();
  std::unique_lock guard(lock_);
  const auto ready = [this] { return started_ || LineLost(); };
  const bool woken = timeout == std::chrono::milliseconds::max()
                         ? cancel.Wait(guard, changed_, ready)
                         : cancel.WaitFor(guard, changed_, timeout, ready);
  return woken && started_;
}

AnswerCode UpdateProtocol::WaitForAnswer(std::chrono::milliseconds timeout) {
  const CancelToken& cancel = Cancellation();
  std::unique_lock guard(lock_);
  const auto ready = [this] { return lastCode_ != AnswerCode::NoAnswer || LineLost(); };
  const bool woken = timeout == std::chrono::milliseconds::max()
                         ? cancel.Wait(guard, changed_, ready)
                         : cancel.WaitFor(guard, changed_, timeout, ready);
  if (!woken) return AnswerCode::NoAnswer;
  const AnswerCode code = lastCode_;
  lastCode_ = AnswerCode::NoAnswer;
  return code;
}

size_t UpdateProtocol::BytesBeforeStart() const {
  std::lock_guard guard(lock_);
  return bytesBeforeStart_;
}

void UpdateProtocol::OnLineLost() {
  { std::lock_guard guard(lock_); }  // a waiter between its check and its sleep sees it
  changed_.notify_all();
}

void UpdateProtocol::Post(AnswerCode code) {
  {
    std::lock_guard guard(lock_);
    lastCode_ = code;
  }
  changed_.notify_all();
}

void UpdateProtocol::OnReceive() {
  uint8_t chunk[1024];
  size_t count = 0;
  while (!StopRequested() && Read(chunk, sizeof chunk, &count) && count > 0) {
    for (size_t i = 0; i < count; ++i) {
      const uint8_t byte = chunk[i];
      if (!IsStarted()) {
        // Anything before 'C' (the board's start-up text, say) is ignored.
        if (byte == kUpgradeReady) {
          {
            std::lock_guard guard(lock_);
            started_ = true;
          }
          changed_.notify_all();
        } else {
          std::lock_guard guard(lock_);
          ++bytesBeforeStart_;
        }
        continue;
      }
      const AnswerCode code = ReceiveByte(byte);
      switch (code) {
        case AnswerCode::BlockGood:
        case AnswerCode::BlockRepeated:
          WriteByte(kAck);
          break;
        case AnswerCode::BlockBad:
          WriteByte(kNak);
          break;
        case AnswerCode::EndOfTransfer:
          WriteByte(kAck);
          Post(code);
          break;
        case AnswerCode::Acknowledged:
        case AnswerCode::Refused:
        case AnswerCode::Cancelled:
          Post(code);
          break;
        default:
          break;
      }
    }
  }
}

}  // namespace pellux
