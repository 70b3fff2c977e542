#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "CapturingConsole.h"
#include "ChildProcess.h"
#include "JobOutput.h"
#include "SampleContent.h"
#include "ScopedEnv.h"
#include "Stm32BoardBootloader.h"
#include "Stm32BootloaderModel.h"
#include "TestFiles.h"
#include "TestUpdateServer.h"
#include "VirtualControlBoard.h"
#include "boards/ControlBoardUpdate.h"
#include "flash/BootloaderLink.h"

using namespace pellux;

// Firmware updates of the control board from the job's entry to the program
// running on the board's STM32: the board twin with its bootloader model,
// the real flash loader, real files.
namespace {
namespace fs = std::filesystem;
constexpr uint32_t kFlashBase = 0x08000000;

std::vector<uint8_t> RandomImage(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

std::vector<uint8_t> FlashAt(const Stm32BootloaderModel& model, uint32_t address, size_t size) {
  const std::vector<uint8_t> flash = model.Flash();
  const size_t offset = address - kFlashBase;
  if (offset + size > flash.size()) return {};
  return {flash.begin() + offset, flash.begin() + offset + size};
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class FirmwareEndToEnd : public ::testing::Test {
 protected:
  explicit FirmwareEndToEnd(Stm32Chip chip = Stm32Chip::HighDensity)
      : model(Options(chip)), bootloader(model), board(&bootloader) {
    board.Start();
  }
  static Stm32Options Options(Stm32Chip chip) {
    Stm32Options options;
    options.chip = chip;
    return options;
  }
  // Writes the image as Intel HEX and returns its path.
  std::string WriteHex(const std::string& name, const std::vector<uint8_t>& image) {
    const std::string path = dir / name;
    WriteFile(path, IntelHexOf(kFlashBase, image));
    return path;
  }
  // The operator's part of a manual entry: boot switch, power cycle, a key.
  std::thread Operator() {
    return std::thread([this] {
      if (!console.WaitForOutput("And press enter key...\r\n")) return;
      board.EnterBootloaderByBootSwitch();
      console.PushKey('\n');
    });
  }

  TempDir dir;
  Stm32BootloaderModel model;
  Stm32BoardBootloader bootloader;
  VirtualControlBoard board;
  CapturingConsole console;
};

class F4FirmwareEndToEnd : public FirmwareEndToEnd {
 protected:
  F4FirmwareEndToEnd() : FirmwareEndToEnd(Stm32Chip::F4) {}
};
}  // namespace

TEST_F(FirmwareEndToEnd, FirmwareJobFlashesTheImageAndStartsIt) {
  const std::vector<uint8_t> image = RandomImage(3000, 1);
  const std::string hex = WriteHex("NR2_FW.hex", image);
  ScopedEnv ports("PUPDATE_PORT_MAP", "COM3=" + board.PortPath());
  ScopedCurrentDir cwd(dir.path());
  ScopedActiveConsole active(console);
  console.CloseInput();
  EXPECT_TRUE(updateControlBoard("COM3", hex, false)) << console.Output();
  EXPECT_EQ(FlashAt(model, kFlashBase, image.size()), image);
  EXPECT_EQ(model.StartedAt(), kFlashBase);
  EXPECT_TRUE(bootloader.ProgramStarted());
  EXPECT_TRUE(board.WaitForMode(VirtualControlBoard::Mode::Running));
  // The board was reset through its upgrade mode, then left to the bootloader.
  const std::vector<uint8_t> received = board.Received();
  ASSERT_GE(received.size(), 3u);
  EXPECT_EQ(received[0], 0x0E);
  EXPECT_EQ(received[1], 'F');
  EXPECT_EQ(received[2], 0x7F) << "the flash loader synchronises first";
  // High-density chip: one whole-flash erase before any write.
  bool erased = false;
  for (const Stm32Command& command : model.Commands()) {
    if (command.code == 0x43) erased = command.count == 0xFFFF;
    if (command.code == 0x31) {
      EXPECT_TRUE(erased) << "a write before the erase";
      break;
    }
  }
  EXPECT_TRUE(erased);
  EXPECT_FALSE(fs::exists(dir / "map.map"));
}

TEST_F(FirmwareEndToEnd, BytesBeforeTheBoardsReadySignalAreIgnored) {
  static const char kStartup[] = "\0\xFF boot v1.02\r\nready?\r\n";
  board.SetStartupText(std::string(kStartup, sizeof kStartup - 1));
  const std::vector<uint8_t> image = RandomImage(700, 7);
  const std::string hex = WriteHex("NR2_FW.hex", image);
  ScopedEnv ports("PUPDATE_PORT_MAP", "COM3=" + board.PortPath());
  ScopedCurrentDir cwd(dir.path());
  ScopedActiveConsole active(console);
  console.CloseInput();
  EXPECT_TRUE(updateControlBoard("COM3", hex, false)) << console.Output();
  EXPECT_EQ(FlashAt(model, kFlashBase, image.size()), image);
  // The time-out the firmware update hands over for this chip.
  EXPECT_EQ(TheBootloaderLink().port().timeoutMs, 3000);
}

TEST_F(FirmwareEndToEnd, AnImageOutsideTheFlashLeavesTheBoardsProgramAlone) {
  const std::vector<uint8_t> old = RandomImage(256, 8);
  model.Program(kFlashBase, old);
  const std::string hex = dir / "NR2_FW.hex";
  WriteFile(hex, IntelHexOf(0x20000000, RandomImage(128, 9)));
  ScopedEnv ports("PUPDATE_PORT_MAP", "COM3=" + board.PortPath());
  ScopedCurrentDir cwd(dir.path());
  ScopedActiveConsole active(console);
  console.CloseInput();
  EXPECT_FALSE(updateControlBoard("COM3", hex, false)) << console.Output();
  EXPECT_NE(console.Output().find("holds no data for the flash of this device; nothing was "
                                  "erased or written"),
            std::string::npos)
      << console.Output();
  EXPECT_EQ(FlashAt(model, kFlashBase, old.size()), old);
  for (const Stm32Command& command : model.Commands()) {
    EXPECT_NE(command.code, 0x43) << "an erase";
    EXPECT_NE(command.code, 0x21) << "a start";
  }
  EXPECT_FALSE(fs::exists(dir / "map.map"));
}

TEST_F(FirmwareEndToEnd, InitializeJobWaitsForTheOperatorThenFlashes) {
  const std::vector<uint8_t> image = RandomImage(1000, 2);
  const std::string hex = WriteHex("NR2_FW.hex", image);
  WriteFile(dir / "mine.map", "the user's map");
  ScopedEnv ports("PUPDATE_PORT_MAP", "COM3=" + board.PortPath());
  ScopedCurrentDir cwd(dir.path());
  ScopedActiveConsole active(console);
  std::thread person = Operator();
  const bool result = updateControlBoard("COM3", hex, true);
  person.join();
  EXPECT_TRUE(result) << console.Output();
  EXPECT_EQ(FlashAt(model, kFlashBase, image.size()), image);
  EXPECT_EQ(model.StartedAt(), kFlashBase);
  EXPECT_EQ(board.Received().front(), 0x7F) << "a manual entry sends nothing to the upgrade mode";
  EXPECT_EQ(console.Output().find("F4 chip"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "map.map"));
  EXPECT_EQ(ReadFile(dir / "mine.map"), "the user's map");
}

TEST_F(F4FirmwareEndToEnd, F4FileTakesTheManualEntryAndTheSectorMap) {
  const std::vector<uint8_t> image = RandomImage(2000, 3);
  const std::string hex = WriteHex("NR2-F4-FW.hex", image);
  ScopedEnv ports("PUPDATE_PORT_MAP", "COM3=" + board.PortPath());
  ScopedCurrentDir cwd(dir.path());
  ScopedActiveConsole active(console);
  std::thread person = Operator();
  const bool result = updateControlBoard("COM3", hex, false);
  person.join();
  EXPECT_TRUE(result) << console.Output();
  EXPECT_EQ(console.Output().rfind("It is a device using F4 chip.\r\n", 0), 0u);
  EXPECT_EQ(FlashAt(model, kFlashBase, image.size()), image);
  EXPECT_EQ(model.StartedAt(), kFlashBase);
  bool extendedErase = false;
  for (const Stm32Command& command : model.Commands()) {
    if (command.code == 0x44) extendedErase = true;
  }
  EXPECT_TRUE(extendedErase) << "an F4 erases through Extended Erase";
  EXPECT_EQ(TheBootloaderLink().port().timeoutMs, 10000);
  EXPECT_FALSE(fs::exists(dir / "map.map"));
}

TEST_F(FirmwareEndToEnd, AVerificationFailureIsAFailure) {
  const std::vector<uint8_t> image = RandomImage(2000, 4);
  const std::string hex = WriteHex("NR2_FW.hex", image);
  bootloader.SpoilFlashBeforeVerification(true);
  ScopedEnv ports("PUPDATE_PORT_MAP", "COM3=" + board.PortPath());
  ScopedCurrentDir cwd(dir.path());
  ScopedActiveConsole active(console);
  console.CloseInput();
  EXPECT_FALSE(updateControlBoard("COM3", hex, false)) << console.Output();
  EXPECT_NE(FlashAt(model, kFlashBase, image.size()), image);
  EXPECT_FALSE(model.StartedAt().has_value()) << "no start after a failed verification";
  EXPECT_FALSE(fs::exists(dir / "map.map"));
}

TEST_F(FirmwareEndToEnd, RefusedWritesEndTheJobInError) {
  const std::vector<uint8_t> image = RandomImage(600, 5);
  WriteHex("NR2_FW.hex", image);
  model.SetNackCommand(0x31);
  const std::string link = dir / "PUpdate-NR2-Firmware-COM3";
  fs::create_symlink(BuiltProgram("PelluxUpdateV3"), link);
  ChildProcess job(link, {dir / "NR2_FW.hex", "local"},
                   {{"PUPDATE_PORT_MAP", "COM3=" + board.PortPath()}}, "", dir.path().string());
  job.CloseInput();
  EXPECT_EQ(job.Wait(), 1) << job.Output();
  EXPECT_TRUE(EndsWith(WithoutLogLine(job.Output()), "Error\n")) << job.Output();
  EXPECT_FALSE(model.StartedAt().has_value());
  EXPECT_FALSE(fs::exists(dir / "map.map"));
}

// As a person runs it: a job-named link, the port mapped to the twin, the
// file from the update server.
TEST_F(FirmwareEndToEnd, OnlineFirmwareJobThroughTheProgram) {
  TestUpdateServer server;
  const std::vector<uint8_t> image = RandomImage(5000, 6);
  server.AddFile("NR2", "FIRMWARE", "NR2_FW_V1.hex", IntelHexOf(kFlashBase, image));
  WriteFile(dir / "mine.map", "the user's map");
  const std::string link = dir / "PUpdate-NR2-Firmware-COM3";
  fs::create_symlink(BuiltProgram("PelluxUpdateV3"), link);
  ChildProcess job(
      link, {},
      {{"PUPDATE_PORT_MAP", "COM3=" + board.PortPath()}, {"PUPDATE_SERVER_URL", server.BaseUrl()}},
      "", dir.path().string());
  job.CloseInput();
  EXPECT_EQ(job.Wait(), 0) << job.Output();
  EXPECT_TRUE(EndsWith(WithoutLogLine(job.Output()), "Complete\n")) << job.Output();
  EXPECT_EQ(FlashAt(model, kFlashBase, image.size()), image);
  EXPECT_EQ(model.StartedAt(), kFlashBase);
  EXPECT_FALSE(fs::exists(dir / "map.map"));
  EXPECT_FALSE(fs::exists(dir / "NR2_FW_V1.hex"));
  EXPECT_FALSE(fs::exists(dir / "filelist.hex"));
  EXPECT_EQ(ReadFile(dir / "mine.map"), "the user's map");
}

// The demo's path: pupdate-sim with its server, the job from "another
// terminal", and the sim's verdict on the flash.
TEST(VirtualMachineProgram, OnlineFirmwareJobFlashesTheVirtualMachine) {
  TempDir dir;
  ChildProcess sim(BuiltProgram("pupdate-sim"), {"--server", "--port-map-file", dir / "port-map"});
  ASSERT_TRUE(sim.WaitForOutput("Press Ctrl+C to stop.\n")) << sim.Output();
  std::smatch match;
  const std::string output = sim.Output();
  ASSERT_TRUE(std::regex_search(output, match, std::regex("PUPDATE_SERVER_URL=(\\S+)\n")));
  const std::string url = match[1];
  // The sim signs its content with a key of its own: the job trusts it.
  ASSERT_TRUE(std::regex_search(output, match, std::regex("PUPDATE_TRUSTED_KEYS=(\\S+)\n")));
  const std::string trustedKeys = match[1];
  std::string portMap = ReadFile(dir / "port-map");
  portMap.pop_back();

  fs::create_directory(dir / "job");
  const std::string link = dir / "job/PUpdate-NR2-Firmware-COM3";
  fs::create_symlink(BuiltProgram("PelluxUpdateV3"), link);
  ChildProcess job(link, {},
                   {{"PUPDATE_PORT_MAP", portMap},
                    {"PUPDATE_SERVER_URL", url},
                    {"PUPDATE_TRUSTED_KEYS", trustedKeys}},
                   "", dir / "job");
  job.CloseInput();
  EXPECT_EQ(job.Wait(), 0) << job.Output();
  EXPECT_TRUE(EndsWith(WithoutLogLine(job.Output()), "Complete\n")) << job.Output();
  EXPECT_NE(job.Output().find("Signature check success (publisher key sample-publisher.pub.pem)"),
            std::string::npos)
      << job.Output();
  const std::string verdict =
      "flash matches NR2/FIRMWARE/NR2_FW_V251112.hex: 24576 bytes at 0x08000000\n";
  EXPECT_TRUE(sim.WaitForOutput(verdict)) << sim.Output();
  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(), 0);
  const std::string log = sim.Output();
  for (const std::string step :
       {"board reset", "sent 'C'", "STM32 bootloader started", "erased the whole flash",
        "flashed 24576 bytes", "(verification)", "program started at 0x08000000"}) {
    EXPECT_NE(log.find(step), std::string::npos) << step << "\n" << log;
  }
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir / "job")) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(left, std::vector<std::string>{"PUpdate-NR2-Firmware-COM3"});
}
