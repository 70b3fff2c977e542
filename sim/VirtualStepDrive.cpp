#include "VirtualStepDrive.h"

#include <fstream>
#include <iterator>
#include <thread>

VirtualStepDrive::VirtualStepDrive(std::vector<Exchange> script, int baudRate)
    : VirtualDevice("step drive"), script_(std::move(script)) {
  SetExpectedBaud(baudRate);
}

VirtualStepDrive::~VirtualStepDrive() {
  Stop();
}

std::vector<VirtualStepDrive::Exchange> VirtualStepDrive::ScriptFromRecordFile(
    const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
  std::vector<Exchange> script;
  size_t replies = 0;
  for (size_t at = 0; at + 3 <= bytes.size();) {
    const uint8_t type = bytes[at];
    const size_t length = (static_cast<size_t>(bytes[at + 1]) << 8) | bytes[at + 2];
    if (at + 3 + length > bytes.size()) break;
    const auto data = bytes.begin() + static_cast<std::ptrdiff_t>(at + 3);
    if (type == 1) {
      script.push_back({length / 2, {}});
    } else if (type == 2) {
      // The k-th reply answers the k-th message.
      if (replies < script.size()) {
        for (size_t pair = 0; pair + 1 < length; pair += 2) {
          script[replies].reply.push_back(data[static_cast<std::ptrdiff_t>(pair)]);
        }
      }
      ++replies;
    }
    at += 3 + length;
  }
  return script;
}

void VirtualStepDrive::HangUpAtReply(int count) {
  std::lock_guard hold(mutex_);
  hangUpAtReply_ = count;
}

void VirtualStepDrive::SetReplyDelay(std::chrono::milliseconds delay) {
  std::lock_guard hold(mutex_);
  replyDelay_ = delay;
}

std::vector<std::chrono::steady_clock::time_point> VirtualStepDrive::ArrivalTimes() const {
  std::lock_guard hold(mutex_);
  return arrivals_;
}

std::vector<std::chrono::steady_clock::time_point> VirtualStepDrive::ReplyTimes() const {
  std::lock_guard hold(mutex_);
  return replies_;
}

bool VirtualStepDrive::WaitForBytes(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock hold(mutex_);
  return arrived_.wait_for(hold, timeout, [&] { return arrivals_.size() >= count; });
}

bool VirtualStepDrive::WaitForReplies(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock hold(mutex_);
  return arrived_.wait_for(hold, timeout, [&] { return replies_.size() >= count; });
}

void VirtualStepDrive::OnReceived(const uint8_t* data, size_t size) {
  const auto now = std::chrono::steady_clock::now();
  for (size_t i = 0; i < size; ++i) {
    std::vector<uint8_t> reply;
    std::chrono::milliseconds delay{0};
    {
      std::lock_guard hold(mutex_);
      // A master that stayed quiet longer than any recorded pause has given
      // up or finished: the next byte begins a new exchange from the start.
      if (!arrivals_.empty() && now - arrivals_.back() > kFreshStartAfter &&
          (exchange_ > 0 || messageBytes_ > 0)) {
        exchange_ = 0;
        messageBytes_ = 0;
        Log("quiet line: waiting for the first message again");
      }
      arrivals_.push_back(now);
      arrived_.notify_all();
      if (script_.empty()) continue;  // no script: no answer
      if (++messageBytes_ < script_[exchange_].masterBytes) continue;
      reply = script_[exchange_].reply;
      delay = replyDelay_;
      messageBytes_ = 0;
      // After the last exchange the drive answers the next replay as well.
      exchange_ = (exchange_ + 1) % script_.size();
      if (++replyCount_ == hangUpAtReply_) {
        reply.clear();
        delay = std::chrono::milliseconds(-1);
      }
    }
    if (delay.count() < 0) {
      Log("hang-up instead of reply " + std::to_string(replyCount_));
      HangUp();
      return;
    }
    if (delay.count() > 0) std::this_thread::sleep_for(delay);
    {
      std::lock_guard hold(mutex_);
      replies_.push_back(std::chrono::steady_clock::now());
      arrived_.notify_all();
    }
    if (!reply.empty()) Send(reply.data(), reply.size());
  }
}
