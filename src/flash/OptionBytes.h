#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace pellux {

// The option-byte values the bootloader link reads and writes.
struct OptionByteValues {
  uint8_t user = 0xFF;
  uint8_t rdp = 0xFF;
  uint8_t data0 = 0xFF;
  uint8_t data1 = 0xFF;
  uint8_t wrp0 = 0xFF;
  uint8_t wrp1 = 0xFF;
  uint8_t wrp2 = 0xFF;
  uint8_t wrp3 = 0xFF;
};

// The three known option-byte blocks; the base address selects the layout.
inline constexpr uint32_t kOptionBytesF1 = 0x1FFFF800;
inline constexpr uint32_t kOptionBytesL1 = 0x1FF80000;
inline constexpr uint32_t kOptionBytesF2F4 = 0x1FFFC000;

using OptionByteBlock = std::array<uint8_t, 16>;

// The 16-byte block in the layout of `base`; all 0xFF for an unknown base.
OptionByteBlock EncodeOptionBytes(uint32_t base, const OptionByteValues& values);
// The values of a block; empty for an unknown base.
std::optional<OptionByteValues> DecodeOptionBytes(uint32_t base, const OptionByteBlock& block);

}  // namespace pellux
