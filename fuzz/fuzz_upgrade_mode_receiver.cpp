// The upgrade mode's receiver: the board's answers (EOT, ACK, NAK, CAN) and
// the blocks it sends are classified as a small model says, with its own
// bitwise CRC; and blocks this program builds are accepted in order.
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "boards/BlockFrame.h"

using namespace pellux;

namespace {

uint16_t BitwiseCrc(const uint8_t* bytes, size_t length) {
  uint16_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc ^= static_cast<uint16_t>(bytes[i] << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x5232)
                           : static_cast<uint16_t>(crc << 1);
  }
  return crc;
}

struct ReceiverModel {
  std::vector<uint8_t> block;
  uint8_t expected = 1;

  AnswerCode Take(uint8_t byte) {
    if (block.empty()) {
      if (byte == 0x01) {
        block.push_back(byte);
        return AnswerCode::NoAnswer;
      }
      if (byte == 0x04) return AnswerCode::EndOfTransfer;
      if (byte == 0x06) return AnswerCode::Acknowledged;
      if (byte == 0x15) return AnswerCode::Refused;
      if (byte == 0x18) return AnswerCode::Cancelled;
      return AnswerCode::NoAnswer;
    }
    block.push_back(byte);
    if (block.size() < 133) return AnswerCode::NoAnswer;
    const std::vector<uint8_t> whole = std::move(block);
    block.clear();
    if (BitwiseCrc(whole.data(), whole.size()) != 0) return AnswerCode::BlockBad;
    if (whole[2] != static_cast<uint8_t>(255 - whole[1])) return AnswerCode::BlockBad;
    if (whole[1] == expected) {
      ++expected;
      return AnswerCode::BlockGood;
    }
    return static_cast<uint8_t>(whole[1] + 1) == expected ? AnswerCode::BlockRepeated
                                                          : AnswerCode::BlockBad;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetBlockNumbers();
  ReceiverModel model;
  for (size_t i = 0; i < size; ++i)
    FUZZ_CHECK(ReceiveByte(data[i]) == model.Take(data[i]), "answer codes match the model");

  // Our own frames, cut from the input, are accepted one after the other.
  ResetBlockNumbers();
  const size_t blocks = size / 128 + 1;
  for (size_t n = 0; n < blocks && n < 300; ++n) {
    BlockFrame frame;
    const size_t offset = n * 128;
    const size_t length = offset < size ? std::min<size_t>(128, size - offset) : 0;
    BuildBlockFrame(data + std::min(offset, size), length, frame);
    FUZZ_CHECK(BitwiseCrc(frame.data(), frame.size()) == 0, "a built frame checks out");
    AnswerCode code = AnswerCode::NoAnswer;
    for (const uint8_t byte : frame) code = ReceiveByte(byte);
    FUZZ_CHECK(code == AnswerCode::BlockGood, "a built frame is the expected block");
  }
  return 0;
}
