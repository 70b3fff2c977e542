#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "JobOutput.h"
#include "TestFiles.h"
#include "TwinReports.h"
#include "VirtualMachine.h"

using namespace pellux;

namespace {
namespace fs = std::filesystem;

std::string Match(const std::string& text, const std::string& pattern) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(pattern))) return "";
  return match[1];
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}
}  // namespace

TEST(FlashComparison, SaysWhetherTheFlashHoldsTheImage) {
  std::vector<uint8_t> flash(64, 0xFF);
  const std::vector<uint8_t> image = {1, 2, 3, 4};
  EXPECT_EQ(FlashComparisonLine("NR2/FIRMWARE/a.hex", 0x08000000, flash, 0x08000010, image),
            "flash does NOT match NR2/FIRMWARE/a.hex: 4 bytes at 0x08000010: the flash is blank "
            "there");
  std::copy(image.begin(), image.end(), flash.begin() + 0x10);
  EXPECT_EQ(FlashComparisonLine("NR2/FIRMWARE/a.hex", 0x08000000, flash, 0x08000010, image),
            "flash matches NR2/FIRMWARE/a.hex: 4 bytes at 0x08000010");
  flash[0x12] = 0x00;
  EXPECT_EQ(FlashComparisonLine("a.hex", 0x08000000, flash, 0x08000010, image),
            "flash does NOT match a.hex: 4 bytes at 0x08000010: first difference at 0x08000012 "
            "(flash 0x00, image 0x03)");
  EXPECT_EQ(FlashComparisonLine("a.hex", 0x08000000, flash, 0x0800003E, image),
            "flash does NOT match a.hex: 4 bytes at 0x0800003E: the image lies outside the flash");
  EXPECT_EQ(FlashComparisonLine("a.hex", 0x08000000, flash, 0x07FFFFFE, image),
            "flash does NOT match a.hex: 4 bytes at 0x07FFFFFE: the image lies outside the flash");
}

TEST(FpgaComparison, SaysWhetherTheStoreHoldsTheImageBeforeItsPadding) {
  const std::vector<uint8_t> image = {1, 2, 3, 4, 5};
  EXPECT_EQ(FpgaComparisonLine("NR2/FPGA/a.bin", {}, 0, image, 4),
            "FPGA store empty (no image received), cannot compare with NR2/FPGA/a.bin: 5 bytes");
  std::vector<uint8_t> store = {1, 2, 3, 4, 5, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(FpgaComparisonLine("NR2/FPGA/a.bin", store, 1, image, 4),
            "FPGA store matches NR2/FPGA/a.bin: 5 bytes (8 with the last block's padding)");
  store[4] = 6;
  EXPECT_EQ(FpgaComparisonLine("a.bin", store, 2, image, 4),
            "FPGA store does NOT match a.bin: 5 bytes: first difference at byte 4 (store 0x06, "
            "image 0x05)");
  // A block short, or a whole block too many: not the image, whatever the bytes.
  EXPECT_EQ(FpgaComparisonLine("a.bin", {1, 2, 3, 4}, 1, image, 4),
            "FPGA store does NOT match a.bin: 5 bytes: the store holds 4 bytes");
  EXPECT_EQ(FpgaComparisonLine("a.bin", {1, 2, 3, 4, 5, 0, 0, 0, 0}, 1, image, 4),
            "FPGA store does NOT match a.bin: 5 bytes: the store holds 9 bytes");
}

TEST(ServoParametersReport, NamesEveryValueInOrder) {
  EXPECT_EQ(ServoParametersLine({}, false),
            "servo drive holds no parameters; auto-tuning not started");
  EXPECT_EQ(ServoParametersLine({{"P1-02", "100"}}, false),
            "servo drive holds 1 parameter: P1-02=100; auto-tuning not started");
  EXPECT_EQ(ServoParametersLine({{"P2-10", "3000"}, {"P0-01", "2"}}, true),
            "servo drive holds 2 parameters: P0-01=2 P2-10=3000; auto-tuning started");
}

TEST(VirtualMachine, MapsEveryDeviceToAPortOfItsOwn) {
  VirtualMachineOptions options;
  options.boardPort = "COM11";
  options.servoPort = "COM12";
  options.stepPort = "ttyDRIVE";
  VirtualMachine machine(options, {});
  const auto lines = machine.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].device, "control board");
  EXPECT_EQ(lines[1].device, "servo drive");
  EXPECT_EQ(lines[2].device, "step drive");
  EXPECT_NE(lines[0].path, lines[1].path);
  EXPECT_NE(lines[1].path, lines[2].path);
  EXPECT_EQ(machine.PortMap(),
            "COM11=" + lines[0].path + ",COM12=" + lines[1].path + ",ttyDRIVE=" + lines[2].path);
}

// The whole virtual machine as a person starts it, with the update server:
// drive jobs from another "terminal" reach the right twins.
TEST(VirtualMachineProgram, ServesSampleContentAndAnswersDriveJobs) {
  TempDir dir;
  ChildProcess sim(BuiltProgram("pupdate-sim"),
                   {"--server", "--port-map-file", dir / "port-map", "--content", dir / "content"});
  ASSERT_TRUE(sim.WaitForOutput("Press Ctrl+C to stop.\n")) << sim.Output();
  const std::string output = sim.Output();
  const std::string url = Match(output, "PUPDATE_SERVER_URL=(http://127\\.0\\.0\\.1:[0-9]+/)\n");
  ASSERT_FALSE(url.empty()) << output;
  std::string portMap = ReadFile(dir / "port-map");
  ASSERT_TRUE(EndsWith(portMap, "\n"));
  portMap.pop_back();
  EXPECT_NE(output.find("PUPDATE_PORT_MAP=" + portMap + "\n"), std::string::npos);
  EXPECT_FALSE(Match(portMap, "^COM3=(/dev/[^,]+),COM5=/dev/[^,]+,COM6=/dev/[^,]+$").empty())
      << portMap;
  EXPECT_TRUE(fs::exists(dir / "content/machlist.txt"));

  const std::map<std::string, std::string> env = {{"PUPDATE_PORT_MAP", portMap},
                                                  {"PUPDATE_SERVER_URL", url}};
  for (const std::string name : {"PUpdate-NR2-Step-COM6", "PUpdate-NR2-Servo-COM5"}) {
    const std::string link = dir / name;
    fs::create_symlink(BuiltProgram("PelluxUpdateV3"), link);
    ChildProcess job(link, {}, env, "", dir.path().string());
    job.CloseInput();
    EXPECT_EQ(job.Wait(), 0) << name << "\n" << job.Output();
    EXPECT_TRUE(EndsWith(WithoutLogLine(job.Output()), "Complete\n")) << job.Output();
  }
  EXPECT_TRUE(sim.WaitForOutput("GET /filemd5.php?FilePath=NR2/SERVO/NR2_CSD_Setting.txt"));

  sim.Signal(SIGUSR1);
  EXPECT_TRUE(sim.WaitForOutput(
      "] flash does NOT match NR2/FIRMWARE/NR2_FW_V251112.hex: 24576 bytes at 0x08000000: the "
      "flash is blank there\n"))
      << "nothing was flashed yet";
  EXPECT_TRUE(
      sim.WaitForOutput("] FPGA store empty (no image received), cannot compare with "
                        "NR2/FPGA/NR2_FPGA_V0307.bin: 20000 bytes\n"))
      << sim.Output();
  // The sample setting file's values, after the factory reset; its 999 line
  // starts the auto-tuning instead.
  EXPECT_TRUE(sim.WaitForOutput(
      "] servo drive holds 3 parameters: P0-01=2 P1-02=100 P2-10=3000; auto-tuning started\n"))
      << sim.Output();
  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_TRUE(EndsWith(sim.Output(), "stopped\n")) << sim.Output();
  EXPECT_TRUE(fs::exists(dir / "content/machlist.txt")) << "a named content folder is kept";
}

TEST(VirtualMachineProgram, RemovesItsTemporaryContentAndRefusesBadOptions) {
  ChildProcess sim(BuiltProgram("pupdate-sim"), {"--chip", "f4", "--dialect", "75"});
  ASSERT_TRUE(sim.WaitForOutput("Press Ctrl+C to stop.\n")) << sim.Output();
  const std::string folder = Match(sim.Output(), "sample content in ([^\n]+)\n");
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(fs::exists(folder));
  EXPECT_NE(sim.Output().find("COM3: control board (F4 STM32, bootloader 0x75) on /dev/"),
            std::string::npos)
      << sim.Output();
  sim.Signal(SIGINT);
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_FALSE(fs::exists(folder));

  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--chip", "f7"}, {"--fault", "smoke"}, {"--dialect"}, {"--bogus"}}) {
    ChildProcess bad(BuiltProgram("pupdate-sim"), args);
    EXPECT_EQ(bad.Wait(), 2) << args[0];
    EXPECT_NE(bad.Output().find("Usage: pupdate-sim"), std::string::npos);
  }
}
