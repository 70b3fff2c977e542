#include "VirtualServoDrive.h"

#include <cstdlib>

namespace {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kDone = 0x06;
constexpr uint8_t kBadCheck = 0x15;
constexpr uint8_t kServoOn = 0x1D;
constexpr uint8_t kRangeOver = 0x1E;
constexpr uint8_t kUnknownCommand = 0x1F;

bool ParseNumber(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size();
}

}  // namespace

VirtualServoDrive::VirtualServoDrive(int baudRate) : VirtualDevice("servo drive") {
  SetExpectedBaud(baudRate);
}

VirtualServoDrive::~VirtualServoDrive() {
  Stop();
}

void VirtualServoDrive::SetRange(const std::string& name, double min, double max) {
  std::lock_guard hold(mutex_);
  ranges_[name] = {min, max};
}

void VirtualServoDrive::SetServoOn(bool on) {
  std::lock_guard hold(mutex_);
  servoOn_ = on;
}

void VirtualServoDrive::SendAnswer(uint8_t answer) {
  Answer(answer);
}

std::map<std::string, std::string> VirtualServoDrive::Parameters() const {
  std::lock_guard hold(mutex_);
  return parameters_;
}

std::vector<std::string> VirtualServoDrive::Commands() const {
  std::lock_guard hold(mutex_);
  return commands_;
}

int VirtualServoDrive::FactoryResets() const {
  std::lock_guard hold(mutex_);
  return factoryResets_;
}

bool VirtualServoDrive::TuningStarted() const {
  std::lock_guard hold(mutex_);
  return tuningStarted_;
}

std::vector<uint8_t> VirtualServoDrive::Answers() const {
  std::lock_guard hold(mutex_);
  return answers_;
}

bool VirtualServoDrive::WaitForAnswers(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock hold(mutex_);
  return answered_.wait_for(hold, timeout, [&] { return answers_.size() >= count; });
}

bool VirtualServoDrive::WaitForNoise(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock hold(mutex_);
  return answered_.wait_for(hold, timeout, [&] { return noiseBytes_ >= count; });
}

void VirtualServoDrive::OnNoise(size_t size) {
  std::lock_guard hold(mutex_);
  noiseBytes_ += size;
  answered_.notify_all();
}

void VirtualServoDrive::OnReceived(const uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t byte = data[i];
    if (byte == kStx) {
      inFrame_ = true;
      frame_.clear();
    } else if (!inFrame_) {
      continue;  // noise between frames
    } else if (byte == kEtx) {
      inFrame_ = false;
      HandleFrame(frame_);
    } else {
      frame_.push_back(static_cast<char>(byte));
    }
  }
}

void VirtualServoDrive::HangUpAtFrame(int count) {
  std::lock_guard hold(mutex_);
  hangUpAtFrame_ = count;
}

void VirtualServoDrive::HandleFrame(const std::string& frame) {
  // "01#" + command + ':' + check digit.
  if (frame.size() < 5 || frame.compare(0, 3, "01#") != 0) return;  // another station
  bool hangUp = false;
  {
    std::lock_guard hold(mutex_);
    hangUp = ++frames_ == hangUpAtFrame_;
  }
  if (hangUp) {
    Log("hang-up at frame " + std::to_string(frames_));
    HangUp();
    return;
  }
  const std::string summed = frame.substr(0, frame.size() - 1);
  unsigned sum = 0;
  for (const char c : summed) sum += static_cast<unsigned char>(c);
  if (summed.back() != ':' || frame.back() != "0123456789ABCDEF"[sum % 16]) {
    Answer(kBadCheck);
    return;
  }
  const std::string command = summed.substr(3, summed.size() - 4);
  uint8_t answer;
  {
    std::lock_guard hold(mutex_);
    commands_.push_back(command);
    answer = Execute(command);
  }
  Answer(answer);
}

uint8_t VirtualServoDrive::Execute(const std::string& command) {
  const std::string code = command.substr(0, 3);
  const std::string operands = command.size() > 3 ? command.substr(3) : std::string();
  if (code == "ETC" && operands == "12") {
    if (servoOn_) return kServoOn;
    parameters_.clear();
    ++factoryResets_;
    return kDone;
  }
  if (code == "TAT" && operands == "01") {
    if (servoOn_) return kServoOn;
    tuningStarted_ = true;
    return kDone;
  }
  if (code == "STR") {
    const size_t dash = operands.find('-');
    if (dash == std::string::npos || dash + 3 > operands.size()) return kUnknownCommand;
    const std::string name = operands.substr(0, dash + 3);
    const std::string value = operands.substr(dash + 3);
    if (servoOn_) return kServoOn;
    if (const auto range = ranges_.find(name); range != ranges_.end()) {
      double number = 0;
      if (!ParseNumber(value, number) || number < range->second.first ||
          number > range->second.second) {
        return kRangeOver;
      }
    }
    parameters_[name] = value;
    return kDone;
  }
  return kUnknownCommand;
}

void VirtualServoDrive::Answer(uint8_t answer) {
  {
    std::lock_guard sending(sendMutex_);
    Send(&answer, 1);
  }
  std::lock_guard hold(mutex_);
  answers_.push_back(answer);
  answered_.notify_all();
}
