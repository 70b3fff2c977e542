#pragma once

#include "Stm32BootloaderModel.h"
#include "VirtualDevice.h"

// An STM32 in its ROM bootloader on a pseudo-terminal: the line feeds the
// bootloader model, which answers at the settings the bootloader uses.
class VirtualStm32Device : public VirtualDevice {
 public:
  explicit VirtualStm32Device(Stm32Options options = {}, int baud = 57600);
  ~VirtualStm32Device() override;

  Stm32BootloaderModel& Model() { return model_; }

 protected:
  void OnReceived(const uint8_t* data, size_t size) override;

 private:
  Stm32BootloaderModel model_;
};
