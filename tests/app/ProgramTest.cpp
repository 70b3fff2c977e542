#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

#include "ChildProcess.h"
#include "JobOutput.h"
#include "RawHttpResponder.h"
#include "TestFiles.h"

using namespace pellux;

namespace {
// A link named like a job specification, as a user would make one.
std::string JobLink(const TempDir& dir, const std::string& name) {
  const std::string link = dir / name;
  std::filesystem::create_symlink(BuiltProgram("PelluxUpdateV3"), link);
  return link;
}
}  // namespace

TEST(Program, JobNameRunsThatJobAndReportsTheResult) {
  TempDir dir;
  WriteFile(dir / "image.bin", "fpga");
  ChildProcess job(JobLink(dir, "PUpdate-APB-FPGA-COM1"), {dir / "image.bin", "local"}, {}, "",
                   dir.path().string());
  job.CloseInput();
  const int status = job.Wait();
  const std::string output = WithoutLogLine(job.Output());
  EXPECT_NE(output.find("\r\n[ FPGA Update mode ] - PUPDATE-APB-FPGA-COM1\r\n"), std::string::npos)
      << output;
  // The last line is the result, and the exit status says the same.
  const bool complete =
      output.size() >= 9 && output.compare(output.size() - 9, 9, "Complete\n") == 0;
  const bool error = output.size() >= 6 && output.compare(output.size() - 6, 6, "Error\n") == 0;
  EXPECT_TRUE(complete || error) << output;
  EXPECT_EQ(status, complete ? 0 : 1);
}

TEST(Program, UnknownModeEndsWithError) {
  TempDir dir;
  ChildProcess job(JobLink(dir, "PUpdate-APB-XYZ-COM1.exe"), {});
  job.CloseInput();
  EXPECT_EQ(job.Wait(), 1);
  EXPECT_EQ(WithoutLogLine(job.Output()), "Unknown mode.\r\nError\n");
}

TEST(Program, CopyNameIsRefusedBeforeAnyJob) {
  TempDir dir;
  ChildProcess job(JobLink(dir, "PUpdate-NR2-Servo-COM5 - Copy"), {});
  job.CloseInput();
  EXPECT_EQ(job.Wait(), 1);
  EXPECT_EQ(WithoutLogLine(job.Output()),
            "Running mode error.\r\nThe job name \"PUpdate-NR2-Servo-COM5 - Copy\" was not "
            "understood: it has 5 parts between hyphens, not at most 4; a job name is "
            "PUpdate-<machine key>-<mode>-<port>, such as PUpdate-NR2-Firmware-COM3; rename the "
            "program file to one.\r\nError\n");
}

TEST(Program, OnePieceNameKeepsTheDefaults) {
  TempDir dir;
  WriteFile(dir / "image.bin", "fpga");
  ChildProcess job(JobLink(dir, "PUpdate"), {dir / "image.bin", "local"}, {}, "",
                   dir.path().string());
  job.CloseInput();
  job.Wait();
  EXPECT_NE(job.Output().find("[ FPGA Update mode ] - PUPDATE\r\n"), std::string::npos)
      << job.Output();
}

TEST(Program, InvalidServerUrlIsRefusedWithOneLine) {
  TempDir dir;
  ChildProcess job(JobLink(dir, "PUpdate-APB-XYZ-COM1"), {}, {{"PUPDATE_SERVER_URL", "localhost"}});
  job.CloseInput();
  EXPECT_EQ(job.Wait(), 1);
  EXPECT_NE(job.Output().find("PUPDATE_SERVER_URL"), std::string::npos);
  EXPECT_EQ(job.Output().find("Unknown mode."), std::string::npos);
}

#ifdef PUPDATE_WITH_UI
// The dialog fetches the machine list before its window opens; with a server
// that takes the connection and never answers, Ctrl+C in the terminal ends
// that wait and the program.
TEST(Program, CtrlCEndsTheDialogsStartUpFetch) {
  TempDir dir;
  RawHttpResponder silent({.head = "", .body = "", .holdOpen = true});
  ChildProcess dialog(BuiltProgram("PelluxUpdateV3"), {},
                      {{"QT_QPA_PLATFORM", "offscreen"},
                       {"PUPDATE_SERVER_URL", silent.BaseUrl()},
                       {"HOME", dir.path().string()},
                       {"XDG_CONFIG_HOME", (dir / "config")},
                       {"XDG_STATE_HOME", (dir / "state")}},
                      "", dir.path().string());
  for (int tries = 0; tries < 1500 && silent.Connections() == 0; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(silent.Connections(), 1) << dialog.Output();
  dialog.Signal(SIGINT);
  EXPECT_EQ(dialog.Wait(std::chrono::seconds(20)), 1) << dialog.Output();
  EXPECT_NE(dialog.Output().find("Cancelled.\n"), std::string::npos) << dialog.Output();
  EXPECT_TRUE(silent.WaitForClientClose());
}
#endif
