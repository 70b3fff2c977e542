#include "boards/BlockFrame.h"

#include <algorithm>

#include "boards/BlockCrc.h"

namespace pellux {

namespace {
struct TransferState {
  uint8_t nextSendBlock = 1;
  uint8_t nextExpectedBlock = 1;
  BlockFrame receiveBuffer{};
  size_t received = 0;
  bool inBlock = false;
};

TransferState& State() {
  static TransferState state;
  return state;
}
}  // namespace

void ResetBlockNumbers() {
  TransferState& state = State();
  state.nextSendBlock = 1;
  state.nextExpectedBlock = 1;
  // A block cut short in an earlier job must not run into this one.
  state.received = 0;
  state.inBlock = false;
}

void BuildBlockFrame(const uint8_t* data, size_t length, BlockFrame& out) {
  TransferState& state = State();
  length = std::min(length, kBlockDataSize);
  out.fill(kBlockPadding);
  out[0] = kSoh;
  out[1] = state.nextSendBlock;
  out[2] = static_cast<uint8_t>(~state.nextSendBlock);
  if (length > 0) std::copy(data, data + length, out.begin() + 3);
  const uint16_t crc = Crc16(out.data(), kBlockFrameSize - 2);
  out[131] = static_cast<uint8_t>(crc >> 8);
  out[132] = static_cast<uint8_t>(crc & 0xFF);
  ++state.nextSendBlock;
}

AnswerCode ReceiveByte(uint8_t byte) {
  TransferState& state = State();
  if (!state.inBlock) {
    switch (byte) {
      case kSoh:
        state.inBlock = true;
        state.receiveBuffer[0] = byte;
        state.received = 1;
        return AnswerCode::NoAnswer;
      case kEot:
        return AnswerCode::EndOfTransfer;
      case kAck:
        return AnswerCode::Acknowledged;
      case kNak:
        return AnswerCode::Refused;
      case kCan:
        return AnswerCode::Cancelled;
      default:
        return AnswerCode::NoAnswer;
    }
  }
  state.receiveBuffer[state.received++] = byte;
  if (state.received < kBlockFrameSize) return AnswerCode::NoAnswer;

  state.inBlock = false;
  state.received = 0;
  const BlockFrame& block = state.receiveBuffer;
  if (Crc16(block.data(), kBlockFrameSize) != 0) return AnswerCode::BlockBad;
  if (block[2] != static_cast<uint8_t>(~block[1])) return AnswerCode::BlockBad;
  if (block[1] != state.nextExpectedBlock) {
    return static_cast<uint8_t>(block[1] + 1) == state.nextExpectedBlock ? AnswerCode::BlockRepeated
                                                                         : AnswerCode::BlockBad;
  }
  ++state.nextExpectedBlock;
  return AnswerCode::BlockGood;
}

}  // namespace pellux
