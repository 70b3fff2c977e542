#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "JobOutput.h"
#include "TestFiles.h"
#include "TestUpdateServer.h"
#include "VirtualControlBoard.h"

using namespace pellux;

namespace {
namespace fs = std::filesystem;

std::string JobLink(const TempDir& dir, const std::string& name) {
  const std::string link = dir / name;
  fs::create_symlink(BuiltProgram("PelluxUpdateV3"), link);
  return link;
}

std::vector<uint8_t> Padded(const std::string& image) {
  std::vector<uint8_t> padded(image.begin(), image.end());
  padded.resize((image.size() + 127) / 128 * 128, 0x1A);
  return padded;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class BoardProgramTest : public ::testing::Test {
 protected:
  BoardProgramTest() { board.Start(); }
  std::map<std::string, std::string> Env() const {
    return {{"PUPDATE_PORT_MAP", "COM3=" + board.PortPath()}};
  }

  TempDir dir;
  VirtualControlBoard board;
};
}  // namespace

TEST_F(BoardProgramTest, LocalFpgaJobThroughALinkEndsComplete) {
  const std::string image(700, '\x5A');
  WriteFile(dir / "fpga.bin", image);
  ChildProcess job(JobLink(dir, "PUpdate-NR2-FPGA-COM3"), {dir / "fpga.bin", "local"}, Env(), "",
                   dir.path().string());
  job.CloseInput();
  EXPECT_EQ(job.Wait(), 0);
  const std::string output = job.Output();
  EXPECT_NE(output.find("Transfer Start.\r\n1/6\r2/6\r3/6\r4/6\r5/6\r6/6\r"), std::string::npos)
      << output;
  EXPECT_TRUE(
      EndsWith(WithoutLogLine(output), "\r\nBoard FPGA Upgrade process success.\r\nComplete\n"))
      << output;
  ASSERT_TRUE(board.WaitForFpgaImages(1));
  EXPECT_EQ(board.FpgaImage(), Padded(image));
  // Reset byte on the line first, 'C' only once the line ran at 115200.
  EXPECT_EQ(board.Received().front(), 0x0E);
  EXPECT_TRUE(board.ResetReadAtBaud() == 19200 || board.ResetReadAtBaud() == 115200);
}

TEST_F(BoardProgramTest, OnlineFpgaJobLeavesNoFilesButTheUsers) {
  TestUpdateServer server;
  const std::string image(300, '\x33');
  server.AddFile("NR2", "FPGA", "board-fpga.bin", image);
  WriteFile(dir / "mine.map", "user's map");
  ChildProcess job(
      JobLink(dir, "PUpdate-NR2-FPGA-COM3"), {},
      {{"PUPDATE_PORT_MAP", "COM3=" + board.PortPath()}, {"PUPDATE_SERVER_URL", server.BaseUrl()}},
      "", dir.path().string());
  job.CloseInput();
  EXPECT_EQ(job.Wait(), 0) << job.Output();
  ASSERT_TRUE(board.WaitForFpgaImages(1));
  EXPECT_EQ(board.FpgaImage(), Padded(image));
  EXPECT_FALSE(fs::exists(dir / "board-fpga.bin"));
  EXPECT_EQ(ReadFile(dir / "mine.map"), "user's map");
}

TEST_F(BoardProgramTest, CtrlCAtTheInitializePromptEndsWithError) {
  WriteFile(dir / "fw.hex", ":00000001FF\n");
  ChildProcess job(JobLink(dir, "PUpdate-NR2-Initialize-COM3"), {dir / "fw.hex", "local"}, Env(),
                   "", dir.path().string());
  ASSERT_TRUE(job.WaitForOutput("And press enter key...\r\n"));
  job.Signal(SIGINT);
  EXPECT_EQ(job.Wait(), 1);
  EXPECT_TRUE(EndsWith(WithoutLogLine(job.Output()), "Error\n")) << job.Output();
  EXPECT_FALSE(fs::exists(dir / "map.map"));
  EXPECT_TRUE(board.Received().empty()) << "a manual entry sends nothing to the board";
}

TEST_F(BoardProgramTest, FirmwareJobResetsTheBoardAndSelectsTheBootloader) {
  WriteFile(dir / "fw.hex", ":00000001FF\n");
  ChildProcess job(JobLink(dir, "PUpdate-NR2-Firmware-COM3"), {dir / "fw.hex", "local"}, Env(), "",
                   dir.path().string());
  job.CloseInput();
  ASSERT_TRUE(board.WaitForMode(VirtualControlBoard::Mode::Bootloader)) << job.Output();
  EXPECT_EQ(board.Received(), (std::vector<uint8_t>{0x0E, 'F'}));
  ASSERT_TRUE(job.WaitForOutput("-Reset control board.\r\n-Change baudrate\r\n"));
  job.Signal(SIGINT);
  EXPECT_EQ(job.Wait(), 1);
  EXPECT_NE(job.Output().find("If upgrade mode did not start automatically,\r\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "map.map"));
}

TEST(VirtualMachineProgram, PrintsThePortMapAndServesAnFpgaJob) {
  TempDir dir;
  ChildProcess sim(BuiltProgram("pupdate-sim"), {"--port-map-file", dir / "port-map"});
  ASSERT_TRUE(sim.WaitForOutput("Press Ctrl+C to stop.\n"));
  const std::string portMap = ReadFile(dir / "port-map");
  ASSERT_TRUE(portMap.starts_with("COM3=/dev/")) << portMap;
  EXPECT_NE(sim.Output().find("PUPDATE_PORT_MAP=" + portMap), std::string::npos);

  WriteFile(dir / "fpga.bin", std::string(200, '\x11'));
  ChildProcess job(JobLink(dir, "PUpdate-NR2-FPGA-COM3"), {dir / "fpga.bin", "local"},
                   {{"PUPDATE_PORT_MAP", portMap.substr(0, portMap.size() - 1)}}, "",
                   dir.path().string());
  job.CloseInput();
  EXPECT_EQ(job.Wait(), 0) << job.Output();
  EXPECT_TRUE(sim.WaitForOutput("FPGA image received: 256 bytes in 2 blocks"));
  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(), 0);
}
