#include "boards/BlockCrc.h"

#include <array>

namespace pellux {

namespace {
using CrcTable = std::array<uint16_t, 256>;

CrcTable BuildTable(uint16_t polynomial) {
  CrcTable table{};
  for (int i = 0; i < 256; ++i) {
    uint16_t value = static_cast<uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit) {
      const bool outgoing = (value & 0x8000) != 0;
      value = static_cast<uint16_t>(value << 1);
      if (outgoing) value ^= polynomial;
    }
    table[i] = value;
  }
  return table;
}

CrcTable& Table() {
  static CrcTable table = BuildTable(kBoardCrcPolynomial);
  return table;
}
}  // namespace

void InitCrcTable(uint16_t polynomial) {
  Table() = BuildTable(polynomial);
}

uint16_t CrcTableEntry(int index) {
  return Table()[static_cast<size_t>(index) & 0xFF];
}

uint16_t Crc16(const uint8_t* bytes, size_t length) {
  const CrcTable& table = Table();
  uint16_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc = static_cast<uint16_t>(table[((crc >> 8) ^ bytes[i]) & 0xFF] ^ (crc << 8));
  }
  return crc;
}

}  // namespace pellux
