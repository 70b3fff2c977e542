#include "VirtualStm32Device.h"

VirtualStm32Device::VirtualStm32Device(Stm32Options options, int baud)
    : VirtualDevice("STM32 bootloader"), model_(std::move(options)) {
  SetExpectedBaud(baud);
}

VirtualStm32Device::~VirtualStm32Device() {
  Stop();
}

void VirtualStm32Device::OnReceived(const uint8_t* data, size_t size) {
  model_.OnBytes(data, size, [this](const uint8_t* bytes, size_t count) { Send(bytes, count); });
}
