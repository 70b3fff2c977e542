#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "CapturingConsole.h"
#include "TestFiles.h"
#include "TestUpdateServer.h"
#include "base/Cancellation.h"
#include "jobs/ConsoleRunner.h"
#include "jobs/JobDriver.h"
#include "jobs/UpdateStep.h"

using namespace pellux;

namespace {
// Puts a copy of the table with one step replaced in force for a scope.
class StepOverride {
 public:
  StepOverride(const std::string& mode, UpdateStepFunction step) {
    ModeTable table = CurrentModes();
    bool found = false;
    for (JobMode& row : table) {
      if (row.word == mode) {
        row.step = std::move(step);
        found = true;
      }
    }
    EXPECT_TRUE(found) << mode;
    previous_ = InstallModeTable(std::move(table));
  }
  ~StepOverride() { InstallModeTable(std::move(previous_)); }

 private:
  ModeTable previous_;
};

bool RunJobArgs(std::initializer_list<const char*> args) {
  std::vector<const char*> argv(args);
  return RunJobInConsole(static_cast<int>(argv.size()), argv.data());
}
}  // namespace

TEST(RunJob, LocalJobPrintsBannerAndRunsTheStepOnTheFile) {
  CapturingConsoleHost host;
  std::string seenFile, seenPort;
  StepOverride step(
      "FPGA", [&](const JobSpec& job, const std::string& file, const CancelToken&, JobConsole&) {
        seenFile = file;
        seenPort = job.port;
        return true;
      });
  TempDir dir;
  const std::string image = dir / "image.bin";
  WriteFile(image, "abc");
  EXPECT_TRUE(RunJobArgs({"PUpdate-APB-FPGA-COM1", image.c_str(), "local"}));
  // The file that went to the machine is named with its size and MD5 (RFC 1321's "abc").
  EXPECT_EQ(host.console.Output(),
            "\r\n[ FPGA Update mode ] - PUPDATE-APB-FPGA-COM1\r\nLocal file: " + image +
                ", 3 bytes, MD5 900150983cd24fb0d6963f7d28e17f72\r\n");
  EXPECT_EQ(seenFile, image);
  EXPECT_EQ(seenPort, "COM1");

  host.console.ClearOutput();
  const std::string missing = dir / "missing.bin";
  EXPECT_TRUE(RunJobArgs({"PUpdate-APB-FPGA-COM1", missing.c_str(), "local"}));
  EXPECT_NE(host.console.Output().find("Local file: " + missing +
                                       " cannot be read (No such file or directory).\r\n"),
            std::string::npos)
      << host.console.Output();
}

TEST(RunJob, BannersOfEveryMode) {
  CapturingConsoleHost host;
  const std::pair<const char*, const char*> cases[] = {
      {"PUpdate-NR2-Initialize-COM3", "[ INITIALIZE mode ] - PUPDATE-NR2-INITIALIZE-COM3"},
      {"PUpdate-NR2-Servo-COM3", "[ SERVO Drive Settingmode ] - PUPDATE-NR2-SERVO-COM3"},
      {"PUpdate-NR2-Application-COM3",
       "[ APPLICATION Install mode ] - PUPDATE-NR2-APPLICATION-COM3"},
      {"PUpdate-NR2-Step-COM3", "[ STEP Drive Settingmode ] - PUPDATE-NR2-STEP-COM3"},
  };
  for (const auto& [spec, banner] : cases) {
    const JobSpec parsed = ParseJobSpec(spec);
    StepOverride step(parsed.mode, [](const JobSpec&, const std::string&, const CancelToken&,
                                      JobConsole&) { return false; });
    host.console.ClearOutput();
    EXPECT_FALSE(RunJobArgs({spec, "f", "local"}));
    EXPECT_EQ(host.console.Output().rfind(std::string("\r\n") + banner + "\r\nLocal file: f ", 0),
              0u)
        << host.console.Output();
  }
}

TEST(RunJob, UnknownModeAndEtcAreRefused) {
  CapturingConsoleHost host;
  EXPECT_FALSE(RunJobArgs({"PUpdate-APB-XYZ-COM1", "f", "local"}));
  EXPECT_EQ(host.console.Output(), "Unknown mode.\r\n");
  host.console.ClearOutput();
  EXPECT_FALSE(RunJobArgs({"PUpdate-APB-ETC-COM1"}));
  EXPECT_EQ(host.console.Output(), "Unknown mode.\r\n");
}

TEST(RunJob, InvalidSpecificationWaitsForAKey) {
  CapturingConsoleHost host;
  host.console.PushKey('\n');
  EXPECT_FALSE(RunJobArgs({"Update-APB-FPGA-COM1"}));
  EXPECT_EQ(host.console.Output(),
            "Running mode error.\r\n" + JobNameProblem("Update-APB-FPGA-COM1") + "\r\n");
  EXPECT_EQ(host.console.PromptsSeen(), 1);
  // A copy's name is refused the same way, before anything is downloaded or opened.
  host.console.ClearOutput();
  host.console.PushKey('\n');
  EXPECT_FALSE(RunJobArgs({"PUpdate-NR2-Servo-COM5 - Copy.exe"}));
  EXPECT_EQ(host.console.Output().rfind("Running mode error.\r\nThe job name "
                                        "\"PUpdate-NR2-Servo-COM5 - Copy.exe\" was not understood",
                                        0),
            0u)
      << host.console.Output();
  EXPECT_EQ(host.console.PromptsSeen(), 2);
  // At the end of input the prompt fails instead of waiting.
  host.console.CloseInput();
  EXPECT_FALSE(RunJobArgs({"Update-APB-FPGA-COM1"}));
}

TEST(RunJob, NullVectorFails) {
  EXPECT_FALSE(RunJob(0, nullptr));
}

TEST(RunJob, UpperCaseLocalWordMakesAnOnlineJob) {
  CapturingConsoleHost host;
  TempDir dir;
  ScopedCurrentDir cwd(dir.path());
  bool stepRan = false;
  TestUpdateServer server;
  server.SetList("APB", "FPGA", {"other.bin"});
  StepOverride step("FPGA", [&](const JobSpec&, const std::string&, const CancelToken&,
                                JobConsole&) { return stepRan = true; });
  EXPECT_FALSE(RunJobArgs({"PUpdate-APB-FPGA-COM1", "f.bin", "LOCAL"}));
  EXPECT_FALSE(stepRan);
  EXPECT_NE(host.console.Output().find("Checking firmware on internet....."), std::string::npos);
  EXPECT_NE(host.console.Output().find("Select file is not exist.\r\n"), std::string::npos);
}

TEST(RunJobInConsole, CancelEndsAJobBlockedInASleep) {
  CapturingConsoleHost host;
  std::atomic<bool> sleeping{false};
  bool sleepCompleted = true;
  std::thread canceller([&] {
    while (!sleeping.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    JobCancellation().Cancel();
  });
  const bool result = RunInConsole([&](const CancelToken& cancel, JobConsole&) {
    sleeping = true;
    sleepCompleted = cancel.SleepFor(std::chrono::seconds(60));
    return true;  // a job that ignores its own failure still reports false
  });
  canceller.join();
  EXPECT_FALSE(result);
  EXPECT_FALSE(sleepCompleted);
}

TEST(RunJobInConsole, CancelEndsAJobWaitingForAKey) {
  CapturingConsoleHost host;
  std::thread canceller([&] {
    ASSERT_TRUE(host.console.WaitForOutput("Running mode error."));
    JobCancellation().Cancel();
  });
  EXPECT_FALSE(RunJobArgs({"NotAJob"}));
  canceller.join();
  EXPECT_EQ(host.console.PromptsSeen(), 1);
}

TEST(RunJobInConsole, ACancelDoesNotReachTheNextRun) {
  CapturingConsoleHost host;
  EXPECT_FALSE(RunInConsole([] {
    JobCancellation().Cancel();
    return true;
  }));
  EXPECT_FALSE(JobCancellation().IsCancelled());
  // Cancelled between runs (a late Ctrl+C) has no effect either.
  JobCancellation().Cancel();
  EXPECT_TRUE(RunInConsole([](const CancelToken& cancel, JobConsole&) {
    return cancel.SleepFor(std::chrono::milliseconds(5));
  }));
}

TEST(ListServerFiles, RefusesInvalidSpecsAndUnknownModes) {
  TempDir dir;
  ScopedCurrentDir cwd(dir.path());
  EXPECT_TRUE(ListServerFiles("Update-APB-FPGA.exe", true).empty());
  EXPECT_TRUE(ListServerFiles("PUpdate-APB-XYZ.exe", true).empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "filelist.hex"));
}
