#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <future>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "CapturingConsole.h"
#include "ChildProcess.h"
#include "JobOutput.h"
#include "ScopedEnv.h"
#include "Stm32BoardBootloader.h"
#include "Stm32BootloaderModel.h"
#include "TestFiles.h"
#include "VirtualControlBoard.h"
#include "jobs/ConsoleRunner.h"

using namespace pellux;

// The virtual machine is tried the way a new user tries it: one job after
// another on the same pupdate-sim, and a board that needs its power cycled.
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

TEST(VirtualMachineAgain, EveryJobInARowGetsItsAnswers) {
  TempDir dir;
  ChildProcess sim(BuiltProgram("pupdate-sim"), {"--server", "--port-map-file", dir / "port-map"});
  ASSERT_TRUE(sim.WaitForOutput("Press Ctrl+C to stop.\n")) << sim.Output();
  const std::string url = Match(sim.Output(), "PUPDATE_SERVER_URL=(\\S+)\n");
  std::string portMap = ReadFile(dir / "port-map");
  portMap.pop_back();
  const std::map<std::string, std::string> env = {{"PUPDATE_PORT_MAP", portMap},
                                                  {"PUPDATE_SERVER_URL", url}};
  const auto run = [&](const std::string& name) {
    const std::string link = dir / name;
    if (!fs::exists(link)) fs::create_symlink(BuiltProgram("PelluxUpdateV3"), link);
    return std::make_unique<ChildProcess>(link, std::vector<std::string>{}, env, "",
                                          dir.path().string());
  };

  // The step drive answers the second replay as it answered the first.
  for (int round = 0; round < 2; ++round) {
    auto step = run("PUpdate-NR2-Step-COM6");
    step->CloseInput();
    EXPECT_EQ(step->Wait(), 0) << "round " << round << "\n" << step->Output();
    EXPECT_TRUE(EndsWith(WithoutLogLine(step->Output()), "\r\nSuccess.\r\nComplete\n"))
        << step->Output();
  }

  // The board's acknowledgement of the FPGA job's end must not be taken for
  // the bootloader's answer in the next job.
  auto fpga = run("PUpdate-NR2-FPGA-COM3");
  fpga->CloseInput();
  EXPECT_EQ(fpga->Wait(), 0) << fpga->Output();
  auto initialize = run("PUpdate-NR2-Initialize-COM3");
  ASSERT_TRUE(initialize->WaitForOutput("And press enter key...\r\n")) << initialize->Output();
  sim.WriteInput("b\n");  // typed on pupdate-sim's terminal: boot switch and power cycle
  ASSERT_TRUE(sim.WaitForOutput("STM32 bootloader started (boot switch set and power cycled)"))
      << sim.Output();
  initialize->WriteInput("\n");
  EXPECT_EQ(initialize->Wait(), 0) << initialize->Output();
  EXPECT_EQ(initialize->Output().find("Unrecognized device"), std::string::npos)
      << initialize->Output();
  EXPECT_TRUE(sim.WaitForOutput("flash matches NR2/FIRMWARE/NR2_FW_V251112.hex")) << sim.Output();

  // A power cycle without the boot switch, by signal and by a typed line.
  sim.Signal(SIGPWR);
  ASSERT_TRUE(sim.WaitForOutput("power cycled: firmware running\n")) << sim.Output();
  sim.WriteInput("nonsense\n");
  EXPECT_TRUE(sim.WaitForOutput("unknown command \"nonsense\"")) << sim.Output();
  sim.WriteInput("q\n");
  EXPECT_EQ(sim.Wait(), 0) << sim.Output();
}

TEST(VirtualMachineAgain, APowerCycleWakesABoardStuckInItsBootloader) {
  TempDir dir;
  Stm32BootloaderModel model{Stm32Options{}};
  Stm32BoardBootloader bootloader(model);
  VirtualControlBoard board(&bootloader);
  board.Start();
  // Left in the bootloader by an earlier job: the reset byte means nothing there.
  board.EnterBootloaderByBootSwitch();
  ScopedEnv portMap("PUPDATE_PORT_MAP", "COM3=" + board.PortPath());
  CapturingConsoleHost host;
  WriteFile(dir / "fpga.bin", std::string(300, '\x42'));
  const std::string image = dir / "fpga.bin";
  auto job = std::async(std::launch::async, [&] {
    const char* argv[] = {"PUpdate-NR2-FPGA-COM3", image.c_str(), "local"};
    return RunJobInConsole(3, argv);
  });
  // The job listens for the board's 'C' at 115200 bit/s; the operator
  // cycles the power as the prompt asks.
  for (int i = 0; i < 2000 && board.LineBaudRate() != 115200; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(board.LineBaudRate(), 115200) << host.console.Output();
  board.PowerCycle();
  ASSERT_EQ(job.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_TRUE(job.get()) << host.console.Output();
  ASSERT_TRUE(board.WaitForFpgaImages(1));
}
