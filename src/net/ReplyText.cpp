#include "net/ReplyText.h"

#include <cstring>

namespace pellux {

namespace {
constexpr size_t kChunkSize = 1024;
constexpr size_t kMaxReply = 1 << 20;
}  // namespace

void ReplyText::EndChunk() {
  text_.append(chunk_.c_str(), std::strlen(chunk_.c_str()));
  chunk_.clear();
}

bool ReplyText::Add(std::string_view bytes) {
  for (char byte : bytes) {
    if (received_++ >= kMaxReply) return false;
    chunk_ += byte;
    if (chunk_.size() == kChunkSize) EndChunk();
  }
  return true;
}

std::string ReplyText::Finish() {
  EndChunk();
  return text_;
}

}  // namespace pellux
