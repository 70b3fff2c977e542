#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Numbers as the virtual devices' logs show them.
inline std::string Hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

inline std::string Hex8(uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}
