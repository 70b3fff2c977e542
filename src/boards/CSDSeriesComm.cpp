#include "boards/CSDSeriesComm.h"

#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "serial/LineMessages.h"

namespace pellux {

namespace {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kAcknowledge = 0x06;

const char* AnswerText(uint8_t answer) {
  switch (answer) {
    case kAcknowledge:
      return "-> Success.\r\n";
    case 0x15:
      return "Checksum Error\r\n";
    case 0x18:
      return "Command Cancel\r\n";
    case 0x1D:
      return "Servo is on\r\n";
    case 0x1E:
      return "Setting range over\r\n";
    case 0x1F:
      return "Wrong command.\r\n";
    default:
      return nullptr;
  }
}

}  // namespace

CSDSeriesComm::CSDSeriesComm(const CancelToken& cancel, JobConsole& console)
    : SerialCommunication(cancel), console_(console) {}

CSDSeriesComm::~CSDSeriesComm() {
  Close();
}

std::string CSDSeriesComm::BuildDriveFrame(const std::string& command, const std::string& operand1,
                                           const std::string& operand2) {
  const std::string body = "01#" + command + operand1 + operand2 + ":";
  unsigned sum = 0;
  for (const char c : body) sum += static_cast<unsigned char>(c);
  std::string frame;
  frame.push_back(static_cast<char>(kStx));
  frame += body;
  frame.push_back("0123456789ABCDEF"[sum % 16]);
  frame.push_back(static_cast<char>(kEtx));
  return frame;
}

bool CSDSeriesComm::SendDriveCommand(const std::string& command, const std::string& operand1,
                                     const std::string& operand2) {
  for (const char c : BuildDriveFrame(command, operand1, operand2)) {
    WriteByte(static_cast<uint8_t>(c));
  }
  for (;;) {
    uint8_t answer = 0;
    {
      std::unique_lock hold(lock_);
      // An error answer does not end the wait, but a drive that then stays
      // silent (or a line that went away) does.
      const bool answered =
          Cancellation().WaitFor(hold, received_, std::chrono::seconds(kAnswerTimeoutSeconds),
                                 [&] { return lastByte_ != 0 || LineLost(); }) &&
          lastByte_ != 0;
      if (!answered) {
        hold.unlock();
        if (Cancellation().IsCancelled()) return false;
        console_.Write("\r\n");
        console_.Write(LineLost()
                           ? LineHungUpMessage(PortDescription())
                           : NoAnswerMessage("the servo drive", PortDescription(),
                                             "its acknowledgement of " + command + " " + operand1));
        return false;
      }
      answer = lastByte_;
      lastByte_ = 0;
    }
    // Other bytes are line noise or echoes: skipped silently.
    if (const char* text = AnswerText(answer)) console_.Write(text);
    if (answer == kAcknowledge) return true;
  }
}

uint8_t CSDSeriesComm::TakeLastByte() {
  std::lock_guard hold(lock_);
  const uint8_t byte = lastByte_;
  lastByte_ = 0;
  return byte;
}

void CSDSeriesComm::OnLineLost() {
  { std::lock_guard hold(lock_); }  // a waiter between its check and its sleep sees it
  received_.notify_all();
}

void CSDSeriesComm::OnReceive() {
  uint8_t byte = 0;
  size_t count = 0;
  while (Read(&byte, 1, &count) && count == 1) {
    // Only the last byte of a burst counts.
    std::lock_guard hold(lock_);
    lastByte_ = byte;
    received_.notify_all();
  }
}

}  // namespace pellux
