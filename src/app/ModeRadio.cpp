#include "app/ModeRadio.h"

std::string ModeWord(ModeRadio mode) {
  switch (mode) {
    case ModeRadio::Firmware:
      return "Firmware";
    case ModeRadio::Fpga:
      return "FPGA";
    case ModeRadio::Initialize:
      return "Initialize";
    case ModeRadio::Application:
      return "Application";
    case ModeRadio::None:
      break;
  }
  return {};
}

std::string LocalUpdateFilter(ModeRadio mode) {
  switch (mode) {
    case ModeRadio::Firmware:
    case ModeRadio::Initialize:
      return "Firmware (*.HEX) | *.HEX||";
    case ModeRadio::Fpga:
      return "FPGA Rom (*.BIN) | *.BIN||";
    case ModeRadio::Application:
      return "Application (*.ZIP) | *.ZIP||";
    case ModeRadio::None:
      break;
  }
  return {};
}
