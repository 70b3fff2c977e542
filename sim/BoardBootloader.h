#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// What the control board's line reaches once the board has handed it to its
// STM32 ROM bootloader ('F' in upgrade mode, or the boot switch and a power
// cycle).
class BoardBootloader {
 public:
  using SendFunction = std::function<void(const uint8_t*, size_t)>;
  virtual ~BoardBootloader() = default;
  // A reset of the chip into its bootloader.
  virtual void Reset() = 0;
  virtual void OnBytes(const uint8_t* data, size_t size, const SendFunction& send) = 0;
  // True once the bootloader has started the program (Go).
  virtual bool ProgramStarted() const = 0;
};
