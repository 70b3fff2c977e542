#pragma once

#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "VirtualStm32Device.h"

// An STM32 twin that maps COM7 to its line while it lives. When the last
// such twin ends, PUPDATE_PORT_MAP gets back the value it had before the
// first; a twin that replaces another (twin = StartStm32Twin()) keeps its
// own mapping when the old one ends.
class MappedStm32Device : public VirtualStm32Device {
 public:
  explicit MappedStm32Device(Stm32Options options) : VirtualStm32Device(std::move(options)) {
    if (live_++ == 0) {
      const char* old = ::getenv(kVariable);
      original_ = old ? std::optional<std::string>(old) : std::nullopt;
    }
    ::setenv(kVariable, ("COM7=" + PortPath()).c_str(), 1);
  }
  ~MappedStm32Device() override {
    Stop();  // the device thread makes virtual calls: end it before this object unwinds
    if (--live_ > 0) return;
    if (original_) {
      ::setenv(kVariable, original_->c_str(), 1);
    } else {
      ::unsetenv(kVariable);
    }
  }

 private:
  static constexpr const char* kVariable = "PUPDATE_PORT_MAP";
  static inline int live_ = 0;
  static inline std::optional<std::string> original_;
};

// A started STM32 twin reachable as COM7.
inline std::unique_ptr<VirtualStm32Device> StartStm32Twin(Stm32Options options = {}) {
  auto device = std::make_unique<MappedStm32Device>(std::move(options));
  device->Start();
  return device;
}

inline std::vector<uint8_t> PatternBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random() & 0x7F);  // never 0xFF
  return bytes;
}

// A device map of `pages` pages of 2 KB at 0x08000000 with 128-byte packets.
inline std::string SmallMap(int pages) {
  std::string map =
      "[Product]\nName=Test\nPID=0414\nPacketSize=80\nACKVAL=79\nMAPNAME=Pages\n"
      "PagesPerSector=2\nfamily=1\n\n";
  char section[200];
  for (int i = 0; i < pages; ++i) {
    std::snprintf(section, sizeof section,
                  "[Page%d]\nName=Page%d\nIndex=%02X\nAddress=%08X\nSize=00000800\nType=111\n"
                  "UFO=111\n\n",
                  i, i, i, 0x08000000 + i * 0x800);
    map += section;
  }
  return map;
}
