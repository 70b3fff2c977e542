#include "VirtualMachine.h"

#include "HexText.h"

#include <cstdio>

#include "BoardCommandTwin.h"
#include "Stm32BoardBootloader.h"
#include "Stm32BootloaderModel.h"
#include "TwinReports.h"
#include "VirtualControlBoard.h"
#include "VirtualServoDrive.h"
#include "VirtualStepDrive.h"

namespace {

// Bytes the bootloader takes before the hang-up fault strikes: well into
// the download of any image bigger than a few packets.
constexpr size_t kHangUpAfterBytes = 4096;
}  // namespace

std::string FlashComparisonLine(const std::string& imageName, uint32_t flashBase,
                                const std::vector<uint8_t>& flash, uint32_t address,
                                const std::vector<uint8_t>& image) {
  const std::string what =
      imageName + ": " + std::to_string(image.size()) + " bytes at " + Hex32(address);
  if (flash.empty()) return "flash unknown (no bootloader twin), cannot compare with " + what;
  if (address < flashBase || address - flashBase + uint64_t{image.size()} > flash.size()) {
    return "flash does NOT match " + what + ": the image lies outside the flash";
  }
  const size_t offset = address - flashBase;
  bool blank = true;
  for (size_t i = 0; i < image.size(); ++i) {
    if (flash[offset + i] != 0xFF) blank = false;
  }
  for (size_t i = 0; i < image.size(); ++i) {
    if (flash[offset + i] == image[i]) continue;
    if (blank) return "flash does NOT match " + what + ": the flash is blank there";
    return "flash does NOT match " + what + ": first difference at " +
           Hex32(address + static_cast<uint32_t>(i)) + " (flash " + Hex8(flash[offset + i]) +
           ", image " + Hex8(image[i]) + ")";
  }
  return "flash matches " + what;
}

std::optional<MachineFault> MachineFaultFromName(const std::string& name) {
  if (name == "none") return MachineFault::None;
  if (name == "silence") return MachineFault::Silence;
  if (name == "nak") return MachineFault::Nak;
  if (name == "noise") return MachineFault::Noise;
  if (name == "hangup") return MachineFault::HangUp;
  if (name == "verify") return MachineFault::Verify;
  return std::nullopt;
}

struct VirtualMachine::Devices {
  std::unique_ptr<Stm32BootloaderModel> stm32;
  std::unique_ptr<Stm32BoardBootloader> bootloader;
  std::unique_ptr<BoardCommandTwin> commands;
  std::unique_ptr<VirtualServoDrive> servo;
  std::unique_ptr<VirtualStepDrive> step;
  // Declared last: it uses the parts above and goes first.
  std::unique_ptr<VirtualControlBoard> board;
};

VirtualMachine::VirtualMachine(VirtualMachineOptions options, Logger log)
    : options_(std::move(options)), devices_(std::make_unique<Devices>()) {
  Devices& d = *devices_;
  BoardBootloader* bootloader = nullptr;
  RunningFirmware* firmware = nullptr;
  const MachineFault fault = options_.fault;
  Stm32Options stm32;
  stm32.chip = options_.f4Chip ? Stm32Chip::F4 : Stm32Chip::HighDensity;
  stm32.ackByte = options_.ackByte;
  stm32.silent = fault == MachineFault::Silence;
  if (fault == MachineFault::Nak) stm32.nackCommand = 0x31;
  if (options_.pacing) {
    // The host's bytes reach a twin at once; the bootloader's own waits
    // stand for their line time (a 128-byte packet at 57600 bit/s) and for
    // the time the chip needs to erase.
    stm32.writeTime = std::chrono::milliseconds(25);
    stm32.eraseTime = std::chrono::milliseconds(options_.f4Chip ? 2000 : 40);
  }
  d.stm32 = std::make_unique<Stm32BootloaderModel>(stm32);
  d.bootloader = std::make_unique<Stm32BoardBootloader>(*d.stm32, log);
  bootloader = d.bootloader.get();
  d.commands = std::make_unique<BoardCommandTwin>(
      options_.r1psBoard ? BoardCommandTwin::Model::kR1PS : BoardCommandTwin::Model::kNR2);
  d.commands->SetSilent(fault == MachineFault::Silence);
  firmware = d.commands.get();
  d.servo = std::make_unique<VirtualServoDrive>();
  std::vector<VirtualStepDrive::Exchange> script;
  if (!options_.stepRecordFile.empty()) {
    script = VirtualStepDrive::ScriptFromRecordFile(options_.stepRecordFile);
  }
  d.step = std::make_unique<VirtualStepDrive>(std::move(script));
  for (VirtualDevice* drive :
       {static_cast<VirtualDevice*>(d.servo.get()), static_cast<VirtualDevice*>(d.step.get())}) {
    drive->SetLogger(log);
    drive->SetPacing(options_.pacing);
    drive->SetSilent(fault == MachineFault::Silence);
    drive->SetNoise(fault == MachineFault::Noise);
  }
  d.board = std::make_unique<VirtualControlBoard>(bootloader, firmware);
  VirtualControlBoard& board = *d.board;
  board.SetLogger(log);
  board.SetPacing(options_.pacing);
  board.SetNoise(fault == MachineFault::Noise);
  if (fault == MachineFault::Silence) board.SetNeverSendC(true);
  if (fault == MachineFault::Nak) board.NakBlockOnce(2);
  if (fault == MachineFault::HangUp) {
    board.HangUpAtBlock(3);
    // The factory reset and one parameter get through; the second reply never comes.
    d.servo->HangUpAtFrame(3);
    d.step->HangUpAtReply(2);
  }
  if (fault == MachineFault::HangUp) {
    d.bootloader->HangUpAfter(kHangUpAfterBytes, [&board] { board.HangUp(); });
  }
  if (options_.onProgramStarted) d.bootloader->SetOnProgramStarted(options_.onProgramStarted);
  d.bootloader->SpoilFlashBeforeVerification(fault == MachineFault::Verify);
}

VirtualMachine::~VirtualMachine() {
  Stop();
}

void VirtualMachine::Start() {
  devices_->board->Start();
  devices_->servo->Start();
  devices_->step->Start();
}

void VirtualMachine::Stop() {
  devices_->board->Stop();
  devices_->servo->Stop();
  devices_->step->Stop();
}

std::vector<VirtualMachine::Line> VirtualMachine::Lines() const {
  std::vector<Line> lines;
  lines.push_back({"control board", options_.boardPort, devices_->board->PortPath()});
  lines.push_back({"servo drive", options_.servoPort, devices_->servo->PortPath()});
  lines.push_back({"step drive", options_.stepPort, devices_->step->PortPath()});
  return lines;
}

std::string VirtualMachine::PortMap() const {
  std::string map;
  for (const Line& line : Lines()) {
    if (!map.empty()) map += ',';
    map += line.port + "=" + line.path;
  }
  return map;
}

VirtualControlBoard& VirtualMachine::Board() {
  return *devices_->board;
}

std::vector<uint8_t> VirtualMachine::Flash() const {
  return devices_->stm32->Flash();
}

std::string VirtualMachine::CompareFlash(const std::string& imageName, uint32_t address,
                                         const std::vector<uint8_t>& image) const {
  return FlashComparisonLine(imageName, 0x08000000, Flash(), address, image);
}

std::string VirtualMachine::CompareFpga(const std::string& imageName,
                                        const std::vector<uint8_t>& image) const {
  VirtualControlBoard& board = *devices_->board;
  return FpgaComparisonLine(imageName, board.FpgaImage(), board.FpgaImagesReceived(), image,
                            VirtualControlBoard::kFpgaBlockSize);
}

std::string VirtualMachine::ExtendSettings() const {
  const std::string speed = devices_->commands->PressSpeed();
  return ExtendSettingsLine(devices_->commands->PunchPositions(),
                            options_.r1psBoard ? nullptr : &speed);
}

std::string VirtualMachine::ServoParameters() const {
  return ServoParametersLine(devices_->servo->Parameters(), devices_->servo->TuningStarted());
}
