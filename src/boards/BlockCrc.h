#pragma once

#include <cstddef>
#include <cstdint>

namespace pellux {

// The CRC-16 of the board's upgrade-mode blocks: polynomial 0x5232, initial
// value 0, most significant bit first, no reflection, no final XOR.
inline constexpr uint16_t kBoardCrcPolynomial = 0x5232;

// Builds the 256-entry table the CRC runs through. The table starts out built
// for kBoardCrcPolynomial.
void InitCrcTable(uint16_t polynomial);
uint16_t CrcTableEntry(int index);

uint16_t Crc16(const uint8_t* bytes, size_t length);

}  // namespace pellux
