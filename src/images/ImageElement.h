#pragma once

#include <cstdint>
#include <vector>

namespace pellux {

// One address range of an image with its bytes; size == data.size() for
// every element held by an image.
struct ImageElement {
  uint32_t address = 0;
  uint32_t size = 0;
  std::vector<uint8_t> data;
};

}  // namespace pellux
