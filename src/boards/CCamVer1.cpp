#include "boards/CCamVer1.h"

#include <atomic>
#include <cstdlib>

#include "base/FormatText.h"
#include "base/JobConsole.h"
#include "boards/TextModeFile.h"

namespace pellux {

namespace {

constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;
constexpr size_t kRegisterTokenLimit = 64;
constexpr size_t kNumberTokenLimit = 10;

std::atomic<uint8_t> globalFrameSequence{0};

// Stores `byte` in an open token; a full token is abandoned together with
// the byte that overflowed it.
void StoreInToken(std::string& text, bool& open, size_t limit, uint8_t byte) {
  if (text.size() < limit) {
    text.push_back(static_cast<char>(byte));
  } else {
    open = false;
    text.clear();
  }
}

}  // namespace

CCamVer1::CCamVer1(const CancelToken& cancel) : SerialCommunication(cancel) {}

CCamVer1::~CCamVer1() {
  Close();
}

std::string CCamVer1::FormatCommandFrame(uint8_t sequence, int group, const std::string& text) {
  const std::string payload = FormatText("%03d:%03d:%s\n", sequence, group, text.c_str());
  uint8_t check = 0;
  for (const char c : payload) check ^= static_cast<uint8_t>(c);
  check |= 0x80;
  return FormatText("%c%s%c%c", kStx, payload.c_str(), kEtx, check);
}

std::string CCamVer1::BuildCommandFrame(const std::string& text) {
  return FormatCommandFrame(globalFrameSequence.fetch_add(1), kCommandGroup, text);
}

void CCamVer1::SendCommand(int group, const std::string& text) {
  const std::string frame = FormatCommandFrame(frameSequence_++, group, text);
  ConsoleWrite(frame);
  Write(frame.data(), frame.size());
}

bool CCamVer1::TakeAnswerReady() {
  std::lock_guard hold(answerLock_);
  if (!answerReady_) return false;
  answerReady_ = false;
  return true;
}

std::string CCamVer1::AnswerText() const {
  std::lock_guard hold(answerLock_);
  return answerText_;
}

void CCamVer1::SetAnswerListener(std::function<void()> listener) {
  std::lock_guard hold(answerLock_);
  answerListener_ = std::move(listener);
}

int CCamVer1::LoadStringTable(const std::string& path) {
  std::string content;
  if (!ReadTextModeFile(path, content)) return -1;
  if (const size_t end = content.find('\xFF'); end != std::string::npos) content.resize(end);

  int entries = 0;
  size_t lineStart = 0;
  for (size_t lineEnd; (lineEnd = content.find('\n', lineStart)) != std::string::npos;
       lineStart = lineEnd + 1) {
    const std::string line = content.substr(lineStart, lineEnd - lineStart);
    const size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    std::string text;
    for (const char c : line.substr(comma + 1)) {
      if (c != ',') text.push_back(c);
    }
    stringTable_[std::atoi(line.substr(0, comma).c_str())] = text;
    ++entries;
  }
  return entries;
}

void CCamVer1::OnReceive() {
  uint8_t chunk[1024];
  size_t count = 0;
  while (Read(chunk, sizeof chunk, &count) && count > 0) {
    for (size_t i = 0; i < count; ++i) ReceiveByte(chunk[i]);
  }
}

void CCamVer1::ReceiveByte(uint8_t byte) {
  switch (byte) {
    case 0x00:
    case 0x09:
    case 0x0B:
    case 0x0D:
    case 0x8A:
    case 0x91:
    case 0xE2:
    case 0xE3:
    case 0xE4:
    case 0xE5:
    case 0xE7:
      return;  // ignored
    case 0x06:
    case 0x07:
    case 0x08:
    case 0x15:
    case 0x8C:
    case 0x90:
      return;  // control bytes, never part of a text
    case '#':
    case 0xE1:
      registerToken_.open = true;
      registerToken_.text.clear();
      return;
    case '&':
      registerToken_.open = false;
      registerToken_.text.clear();
      return;
    case '<':
      numberToken_.open = true;
      numberToken_.text.clear();
      return;
    case '>':
      if (numberToken_.open) {
        const auto found = stringTable_.find(std::atoi(numberToken_.text.c_str()));
        if (found != stringTable_.end()) ConsoleWrite(found->second);
      }
      numberToken_.open = false;
      numberToken_.text.clear();
      return;
    case '{': {
      std::lock_guard hold(answerLock_);
      answerText_.clear();
      answerCollecting_ = true;
      answerReady_ = false;
      return;
    }
    case '}': {
      std::lock_guard hold(answerLock_);
      answerCollecting_ = false;
      answerReady_ = true;
      if (answerListener_) answerListener_();
      return;
    }
    case 0x80:
      return;
    case 0x81:
      lineBuffer_.clear();
      return;
    default:
      HandleCharacter(byte);
  }
}

void CCamVer1::HandleCharacter(uint8_t byte) {
  if (registerToken_.open) {
    StoreInToken(registerToken_.text, registerToken_.open, kRegisterTokenLimit, byte);
    return;
  }
  {
    std::lock_guard hold(answerLock_);
    if (answerCollecting_) {
      answerText_.push_back(static_cast<char>(byte));
      return;
    }
  }
  if (numberToken_.open) {
    StoreInToken(numberToken_.text, numberToken_.open, kNumberTokenLimit, byte);
    return;
  }
  lineBuffer_.push_back(static_cast<char>(byte));
  if (byte == '\n') {
    ConsoleWrite(lineBuffer_);
    lineBuffer_.clear();
  }
}

}  // namespace pellux
