#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pellux {

// Unsigned little-endian numbers of `width` bytes at `at`; the caller checks the bounds.
inline std::uint64_t ReadLittleEndian(std::string_view bytes, size_t at, size_t width) {
  std::uint64_t value = 0;
  for (size_t i = 0; i < width; ++i) {
    value |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return value;
}

}  // namespace pellux
