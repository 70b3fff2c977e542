#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace pellux {

// Control bytes of the board's upgrade mode.
inline constexpr uint8_t kBoardReset = 0x0E;
inline constexpr uint8_t kUpgradeReady = 0x43;    // 'C'
inline constexpr uint8_t kSelectFpga = 0x47;      // 'G'
inline constexpr uint8_t kSelectFirmware = 0x46;  // 'F'
inline constexpr uint8_t kSoh = 0x01;
inline constexpr uint8_t kEot = 0x04;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint8_t kCan = 0x18;

inline constexpr size_t kBlockDataSize = 128;
inline constexpr size_t kBlockFrameSize = 133;
inline constexpr uint8_t kBlockPadding = 0x1A;

using BlockFrame = std::array<uint8_t, kBlockFrameSize>;

// What a received byte amounts to.
enum class AnswerCode : int {
  BlockGood = 1,      // a whole block with the expected number: answer ACK
  BlockRepeated = 2,  // the previous block again: answer ACK
  BlockBad = 3,       // bad CRC, complement or number: answer NAK
  EndOfTransfer = 4,  // EOT outside a block: answer ACK
  NoAnswer = 5,       // inside a block, or an unknown byte
  Acknowledged = 6,   // ACK outside a block
  Refused = 7,        // NAK outside a block
  Cancelled = 8,      // CAN outside a block
};

// The block transfer state is one set for the process (one job at a time);
// every job resets it before it opens the port. Frames are built on the job
// thread, received bytes are parsed on the port's reader thread.
void ResetBlockNumbers();

// Fills `out` with the frame of the next block: SOH, number, complement,
// up to 128 data bytes padded with 0x1A, CRC of the first 131 bytes (high
// byte first). Advances the block number (255 wraps to 0).
void BuildBlockFrame(const uint8_t* data, size_t length, BlockFrame& out);

// Feeds one byte of the board's stream through the block parser.
AnswerCode ReceiveByte(uint8_t byte);

}  // namespace pellux
