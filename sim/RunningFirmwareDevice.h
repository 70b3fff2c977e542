#pragma once

#include "RunningFirmware.h"
#include "VirtualDevice.h"

// A bare line at 19200 bit/s whose every byte goes to a running firmware;
// lets the board command twin be tested without the whole control board.
class RunningFirmwareDevice : public VirtualDevice {
 public:
  explicit RunningFirmwareDevice(RunningFirmware& firmware);
  ~RunningFirmwareDevice() override;

 protected:
  void OnReceived(const uint8_t* data, size_t size) override;

 private:
  RunningFirmware& firmware_;
};
