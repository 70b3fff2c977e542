#include "RunningFirmwareDevice.h"

RunningFirmwareDevice::RunningFirmwareDevice(RunningFirmware& firmware)
    : VirtualDevice("running firmware"), firmware_(firmware) {
  SetExpectedBaud(19200);
}

RunningFirmwareDevice::~RunningFirmwareDevice() {
  Stop();
}

void RunningFirmwareDevice::OnReceived(const uint8_t* data, size_t size) {
  const auto send = [this](const std::string& text) { Send(text); };
  for (size_t i = 0; i < size; ++i) firmware_.OnByte(data[i], send);
}
