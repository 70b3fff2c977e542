#include "BoardCommandTwin.h"

#include <cstdlib>

namespace {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kWakeup = 0x0F;

std::vector<std::string> SplitAt(const std::string& text, char delimiter) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t at; (at = text.find(delimiter, start)) != std::string::npos; start = at + 1) {
    fields.push_back(text.substr(start, at - start));
  }
  fields.push_back(text.substr(start));
  return fields;
}

std::string Join(const std::vector<std::string>& fields, char delimiter) {
  std::string text;
  for (const std::string& field : fields) text += delimiter + field;
  return text;
}

}  // namespace

BoardCommandTwin::BoardCommandTwin(Model model) : model_(model) {
  const size_t punches = model == Model::kNR2 ? 9 : 6;
  for (size_t i = 1; i <= punches; ++i) punchPositions_.push_back(std::to_string(i * 100) + ".5");
}

void BoardCommandTwin::OnByte(uint8_t byte, const std::function<void(const std::string&)>& send) {
  switch (state_) {
    case FrameState::kIdle:
      if (byte == kStx) {
        payload_.clear();
        state_ = FrameState::kPayload;
      } else if (byte == kWakeup) {
        std::lock_guard hold(mutex_);
        ++wakeups_;
      }
      return;
    case FrameState::kPayload:
      if (byte == kEtx) {
        state_ = FrameState::kCheck;
      } else if (byte == kStx) {
        payload_.clear();  // a new frame: the broken one is dropped
      } else {
        payload_.push_back(static_cast<char>(byte));
      }
      return;
    case FrameState::kCheck: {
      state_ = FrameState::kIdle;
      uint8_t check = 0;
      for (const char c : payload_) check ^= static_cast<uint8_t>(c);
      if (byte != (check | 0x80)) {
        std::lock_guard hold(mutex_);
        ++badFrames_;
        changed_.notify_all();
        return;
      }
      HandleFrame(payload_, send);
      return;
    }
  }
}

void BoardCommandTwin::HandleFrame(const std::string& payload,
                                   const std::function<void(const std::string&)>& send) {
  // "sss:ggg:text\n"
  if (payload.size() < 9 || payload[3] != ':' || payload[7] != ':' || payload.back() != '\n') {
    std::lock_guard hold(mutex_);
    ++badFrames_;
    changed_.notify_all();
    return;
  }
  const std::string text = payload.substr(8, payload.size() - 9);
  std::string answer;
  {
    std::lock_guard hold(mutex_);
    commands_.push_back(text);
    sequences_.push_back(std::atoi(payload.substr(0, 3).c_str()));
    changed_.notify_all();
    if (text == "1") {
      answer = "{" + punchAnswer_.value_or("PUNCH_POS" + Join(punchPositions_, '/')) + "}";
    } else if (text == "3" && model_ == Model::kNR2) {
      answer = "{PRESS_SPEED/" + pressSpeed_ + "}";
    } else if (text.rfind("2,", 0) == 0) {
      std::vector<std::string> fields = SplitAt(text.substr(2), ',');
      if (fields.size() == punchPositions_.size()) punchPositions_ = std::move(fields);
    } else if (text.rfind("4,", 0) == 0 && model_ == Model::kNR2) {
      pressSpeed_ = text.substr(2);
    }
    if (silent_ || answer.empty()) return;
    answer = chatter_ + answer;
  }
  send(answer);
}

void BoardCommandTwin::SetSilent(bool silent) {
  std::lock_guard hold(mutex_);
  silent_ = silent;
}

void BoardCommandTwin::SetChatter(const std::string& text) {
  std::lock_guard hold(mutex_);
  chatter_ = text;
}

void BoardCommandTwin::SetPunchAnswer(std::optional<std::string> text) {
  std::lock_guard hold(mutex_);
  punchAnswer_ = std::move(text);
}

std::vector<std::string> BoardCommandTwin::PunchPositions() const {
  std::lock_guard hold(mutex_);
  return punchPositions_;
}

std::string BoardCommandTwin::PressSpeed() const {
  std::lock_guard hold(mutex_);
  return pressSpeed_;
}

void BoardCommandTwin::SetPunchPositions(std::vector<std::string> positions) {
  std::lock_guard hold(mutex_);
  punchPositions_ = std::move(positions);
}

void BoardCommandTwin::SetPressSpeed(std::string speed) {
  std::lock_guard hold(mutex_);
  pressSpeed_ = std::move(speed);
}

std::vector<std::string> BoardCommandTwin::Commands() const {
  std::lock_guard hold(mutex_);
  return commands_;
}

std::vector<int> BoardCommandTwin::Sequences() const {
  std::lock_guard hold(mutex_);
  return sequences_;
}

int BoardCommandTwin::BadFrames() const {
  std::lock_guard hold(mutex_);
  return badFrames_;
}

int BoardCommandTwin::Wakeups() const {
  std::lock_guard hold(mutex_);
  return wakeups_;
}

bool BoardCommandTwin::WaitForCommands(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock hold(mutex_);
  return changed_.wait_for(hold, timeout, [&] { return commands_.size() >= count; });
}
