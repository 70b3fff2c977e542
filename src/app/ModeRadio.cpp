#include "app/ModeRadio.h"

#include "jobs/ModeTable.h"

namespace pellux {

namespace {
// The row of the table that a radio button stands for; null for None.
std::unique_ptr<JobMode> ModeOf(ModeRadio radio) {
  switch (radio) {
    case ModeRadio::Firmware:
      return FindMode("FIRMWARE");
    case ModeRadio::Fpga:
      return FindMode("FPGA");
    case ModeRadio::Initialize:
      return FindMode("INITIALIZE");
    case ModeRadio::Application:
      return FindMode("APPLICATION");
    case ModeRadio::None:
      break;
  }
  return nullptr;
}
}  // namespace

std::string ModeWord(ModeRadio mode) {
  const auto row = ModeOf(mode);
  return row ? row->dialogWord : std::string();
}

std::string LocalUpdateFilter(ModeRadio mode) {
  const auto row = ModeOf(mode);
  return row ? row->localFileFilter : std::string();
}

}  // namespace pellux
