#include "boards/CSDSeriesComm.h"

#include <algorithm>
#include <chrono>

#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "serial/LineMessages.h"

namespace pellux {

namespace {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kAcknowledge = 0x06;

struct DriveAnswer {
  uint8_t byte;
  const char* text;    // printed as it comes
  const char* advice;  // when the drive then says nothing more
};

constexpr DriveAnswer kAnswers[] = {
    {.byte = kAcknowledge, .text = "-> Success.\r\n", .advice = ""},
    {.byte = 0x15,
     .text = "Checksum Error\r\n",
     .advice = "the command arrived damaged: check the cable"},
    {.byte = 0x18,
     .text = "Command Cancel\r\n",
     .advice = "the drive cancelled the command: check the drive's display for an alarm"},
    {.byte = 0x1D,
     .text = "Servo is on\r\n",
     .advice = "turn the servo off (the drive's servo-on input)"},
    {.byte = 0x1E,
     .text = "Setting range over\r\n",
     .advice = "the value is outside the parameter's range: correct it in the setting file"},
    {.byte = 0x1F,
     .text = "Wrong command.\r\n",
     .advice = "the drive does not know this parameter: check its name in the setting file"},
};

const DriveAnswer* FindAnswer(uint8_t byte) {
  for (const DriveAnswer& answer : kAnswers) {
    if (answer.byte == byte) return &answer;
  }
  return nullptr;
}

// The drive answered with an error and then fell silent: its answer, not
// the cable, is the likely cause.
std::string ErrorThenSilenceMessage(const DriveAnswer& answer, const std::string& port,
                                    const std::string& sent) {
  std::string text = answer.text;
  text.resize(text.find_last_not_of("\r\n") + 1);
  return "The servo drive on " + port + " answered \"" + text + "\" to " + sent +
         " and then nothing more within " + std::to_string(kAnswerTimeoutSeconds) +
         " s: " + answer.advice + ", then run the job again.\r\n";
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
  const DriveAnswer* lastError = nullptr;
  // Only an answer the drive means starts the wait again: line noise must
  // not keep the job waiting for ever.
  const auto answerTime = std::chrono::seconds(kAnswerTimeoutSeconds);
  auto deadline = std::chrono::steady_clock::now() + answerTime;
  for (;;) {
    uint8_t answer = 0;
    {
      std::unique_lock hold(lock_);
      // An error answer does not end the wait, but a drive that then stays
      // silent (or a line that went away) does.
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      const bool answered =
          Cancellation().WaitFor(hold, received_, std::max(left, std::chrono::milliseconds(0)),
                                 [&] { return lastByte_ != 0 || LineLost(); }) &&
          lastByte_ != 0;
      if (!answered) {
        hold.unlock();
        if (Cancellation().IsCancelled()) return false;
        const std::string sent =
            command + " " + operand1 + (operand2.empty() ? "" : "=" + operand2);
        console_.Write("\r\n");
        if (LineLost()) {
          console_.Write(LineHungUpMessage(PortDescription()));
        } else if (lastError != nullptr) {
          console_.Write(ErrorThenSilenceMessage(*lastError, PortDescription(), sent));
        } else {
          console_.Write(NoAnswerMessage("the servo drive", PortDescription(),
                                         "its acknowledgement of " + sent));
        }
        return false;
      }
      answer = lastByte_;
      lastByte_ = 0;
    }
    // Other bytes are line noise or echoes: skipped silently.
    const DriveAnswer* known = FindAnswer(answer);
    if (known == nullptr) continue;
    deadline = std::chrono::steady_clock::now() + answerTime;
    console_.Write(known->text);
    if (answer == kAcknowledge) return true;
    lastError = known;
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
