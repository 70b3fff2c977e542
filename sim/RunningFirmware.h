#pragma once

#include <cstdint>
#include <functional>
#include <string>

// What the virtual control board does with bytes that reach its running
// firmware (at 19200 bit/s, other than the upgrade-mode reset 0x0E). The
// board command twin implements it; `send` writes to the line.
class RunningFirmware {
 public:
  virtual ~RunningFirmware() = default;
  virtual void OnByte(uint8_t byte, const std::function<void(const std::string&)>& send) = 0;
};
