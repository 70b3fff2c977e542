#include "jobs/ModeTable.h"

#include <gtest/gtest.h>

#include "CapturingConsole.h"
#include "app/ModeRadio.h"
#include "app/OnlineFilesDownload.h"
#include "base/Cancellation.h"
#include "jobs/JobName.h"
#include "jobs/UpdateStep.h"
#include "net/ServerBaseUrl.h"

using namespace pellux;

TEST(ModeTable, EveryPerformedModeHasAStepAndTheOthersNone) {
  std::vector<std::string> words;
  for (const JobMode& mode : ProgramModes()) {
    words.push_back(mode.word);
    EXPECT_EQ(mode.performed, static_cast<bool>(mode.step)) << mode.word;
    EXPECT_FALSE(mode.listMode.empty()) << mode.word;
  }
  EXPECT_EQ(words, (std::vector<std::string>{"FIRMWARE", "INITIALIZE", "FPGA", "APPLICATION",
                                             "SERVO", "STEP", "ETC"}));
  EXPECT_EQ(FindMode("firmware"), nullptr);  // job specifications are upper-cased first
  EXPECT_EQ(FindMode(""), nullptr);
}

TEST(ModeTable, TheDialogAndTheDownloadReadTheirListsFromIt) {
  EXPECT_EQ(DownloadModes(),
            (std::vector<std::string>{"FIRMWARE", "FPGA", "SERVO", "STEP", "ETC"}));
  EXPECT_EQ(ModeWord(ModeRadio::Initialize), "Initialize");
  EXPECT_EQ(ModeWord(ModeRadio::Fpga), "FPGA");
  EXPECT_EQ(ModeWord(ModeRadio::None), "");
  EXPECT_EQ(LocalUpdateFilter(ModeRadio::Initialize), "Firmware (*.HEX) | *.HEX||");
  EXPECT_EQ(LocalUpdateFilter(ModeRadio::Application), "Application (*.ZIP) | *.ZIP||");
  EXPECT_EQ(ParseJobSpec("PUpdate-NR2-Initialize-COM2").listMode, "FIRMWARE");
  // ETC files belong to no machine (the double slash is the server's habit).
  EXPECT_EQ(DownloadFileUrl("NR2", "ETC", "a.txt"), ServerBaseUrl() + "/ETC/a.txt");
  EXPECT_EQ(DownloadFileUrl("NR2", "FPGA", "a.bin"), ServerBaseUrl() + "NR2/FPGA/a.bin");
}

TEST(ModeTable, AnInstalledTableDecidesAndTheEmptyOneRestoresTheProgramsOwn) {
  ModeTable table = CurrentModes();
  std::string ranWith;
  const CancelToken cancel;
  CapturingConsole console;
  for (JobMode& row : table) {
    if (row.word == "STEP") {
      row.step = [&](const JobSpec& job, const std::string& file, const CancelToken& stepCancel,
                     JobConsole& stepConsole) {
        // The step is handed the caller's token and console.
        EXPECT_EQ(&stepCancel, &cancel);
        EXPECT_EQ(&stepConsole, &console);
        ranWith = job.port + " " + file;
        return true;
      };
    }
  }
  ModeTable previous = InstallModeTable(std::move(table));
  JobSpec job = ParseJobSpec("PUpdate-NR2-Step-COM6");
  EXPECT_TRUE(PerformUpdateStep(job, "record.bin", cancel, console));
  EXPECT_EQ(ranWith, "COM6 record.bin");

  OverrideUpdateStep("STEP", nullptr);  // back to the program's own step for one mode
  EXPECT_EQ(FindMode("STEP")->performed, true);
  InstallModeTable({});
  EXPECT_EQ(CurrentModes().size(), ProgramModes().size());
  InstallModeTable(std::move(previous));
}
