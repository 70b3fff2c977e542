#include <gtest/gtest.h>

#include "MemorySettingsStore.h"

#include "app/FileSelection.h"
#include "app/MainDialogModel.h"
#include "app/ModeRadio.h"
#include "app/OnlineFilesDownload.h"
#include "app/OpenFileFilter.h"
#include "app/Settings.h"
#include "net/ServerBaseUrl.h"

#include <map>

using namespace pellux;

namespace {

using Kind = DialogAction::Kind;

class MainDialogModelTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = SetSettingsStore(&store_); }
  void TearDown() override { SetSettingsStore(previous_); }

  MainDialogModel Model(const std::string& list, const std::string& name = "PelluxUpdateV3.exe") {
    MainDialogModel model(std::make_shared<MachineList>());
    model.InitialiseWith(name, list);
    return model;
  }

  static DialogSelection Choice(const std::string& machine, ModeRadio mode = ModeRadio::Firmware,
                                std::optional<std::string> port = "COM3") {
    return {machine, std::move(port), mode};
  }

  MemoryStore store_;
  SettingsStore* previous_ = nullptr;
};

const char* const kList =
    "New R2 Bender,NR2\nPlain Rim,NONE\nCustom One,CUSTOM\nNew R2 Bender Two,NR2B\n";

TEST_F(MainDialogModelTest, InitialisationFillsMachinesAndRestoresTheStoredChoice) {
  MainDialogModel first = Model(kList);
  EXPECT_EQ(first.MachineNames(), (std::vector<std::string>{"New R2 Bender", "Plain Rim",
                                                            "Custom One", "New R2 Bender Two"}));
  EXPECT_EQ(first.InitialMachine(), std::optional<size_t>(0));
  EXPECT_EQ(first.OnlineButtonText(), "Online Update");
  EXPECT_FALSE(first.IsLocalMode());
  EXPECT_EQ(first.Title(), "PelluxUpdateV3 (V251112) - " + ServerBaseUrl());

  // Prefix, any case, searched after entry 0: entry 3 wins over entry 0.
  store_.values["MachineType"] = "new r2 bender";
  EXPECT_EQ(Model(kList).InitialMachine(), std::optional<size_t>(3));
  store_.values["MachineType"] = "PLAIN";
  EXPECT_EQ(Model(kList).InitialMachine(), std::optional<size_t>(1));
  store_.values["MachineType"] = "New R2 Bender ";  // only entry 3 begins with it
  EXPECT_EQ(Model(kList).InitialMachine(), std::optional<size_t>(3));
  store_.values["MachineType"] = "Gone Machine";
  EXPECT_EQ(Model(kList).InitialMachine(), std::nullopt);
  // The search ends with entry 0.
  store_.values["MachineType"] = "zed";
  EXPECT_EQ(Model("Zed,Z\nOther,O\n").InitialMachine(), std::optional<size_t>(0));
}

TEST_F(MainDialogModelTest, LocalModeByNameOrEmptyList) {
  store_.values["MachineType"] = "New R2 Bender";
  for (const MainDialogModel& model :
       {Model(kList, "PelluxUpdateV3L.exe"), Model(kList, "c:\\tools\\pelluxupdatel"),
        Model("", "PelluxUpdateV3.exe")}) {
    EXPECT_EQ(model.MachineNames(), std::vector<std::string>{"Local Update"});
    EXPECT_EQ(model.InitialMachine(), std::optional<size_t>(0));
    EXPECT_EQ(model.OnlineButtonText(), "Local Update");
    EXPECT_TRUE(model.IsLocalMode());
  }
  // A list with a line but no entry stays online, with nothing to choose.
  const MainDialogModel empty = Model("\n");
  EXPECT_TRUE(empty.MachineNames().empty());
  EXPECT_EQ(empty.InitialMachine(), std::nullopt);
  EXPECT_FALSE(empty.IsLocalMode());
}

TEST_F(MainDialogModelTest, TheStatusLineSaysWhy) {
  const std::string list = ServerBaseUrl() + "machlist.txt";
  EXPECT_EQ(Model(kList).StatusLine(), "");
  EXPECT_EQ(Model(kList, "PelluxUpdateV3L").StatusLine(),
            "Local mode: the program's name ends in L.");
  MainDialogModel failed(std::make_shared<MachineList>());
  failed.InitialiseWith("PelluxUpdateV3", "", "Fail access to server.");
  EXPECT_EQ(failed.StatusLine(), "Local mode: no machine list from " + list +
                                     " (Fail access to server.). Check the network and the "
                                     "server, then start the program again.");
  EXPECT_EQ(Model("").StatusLine(), "Local mode: no machine list from " + list +
                                        " (the server sent an empty list). Check the network "
                                        "and the server, then start the program again.");
  EXPECT_EQ(Model("no commas here\n").StatusLine(),
            "The machine list " + list +
                " names no machine (lines of the form name,KEY): check it on the server.");
  // A later start that works clears it.
  failed.InitialiseWith("PelluxUpdateV3", kList);
  EXPECT_EQ(failed.StatusLine(), "");
}

TEST(FileSelectionOffer, NamesOrWhyThereAreNone) {
  const ServerFileOffer files =
      OfferOfList("PUpdate-NR2-SERVO-COM3.exe", {"FileList", "a.csv", "b.csv"}, "");
  EXPECT_EQ(files.fileNames, (std::vector<std::string>{"a.csv", "b.csv"}));
  EXPECT_EQ(files.statusLine, "");
  EXPECT_EQ(OfferOfList("PUpdate-NR2-Initialize-COM3.exe", {"FileList"}, "").statusLine,
            "The server lists no file for NR2 FIRMWARE.");
  EXPECT_EQ(
      OfferOfList("PUpdate-NR2-SERVO-COM3.exe", {}, "Download failed: HTTP status 500.").statusLine,
      "No file list for NR2 SERVO from the server (Download failed: HTTP status 500.). "
      "Check the network and the server, then try again.");
}

TEST_F(MainDialogModelTest, OnlineUpdateDecisions) {
  const MainDialogModel model = Model(kList);
  DialogAction action = model.OnOnlineUpdate(Choice("New R2 Bender"));
  EXPECT_EQ(action.kind, Kind::RunJob);
  EXPECT_EQ(action.jobArgs, std::vector<std::string>{"PUpdate-NR2-Firmware-COM3.exe"});
  EXPECT_EQ(model.OnOnlineUpdate(Choice("New R2 Bender", ModeRadio::Initialize)).jobArgs,
            std::vector<std::string>{"PUpdate-NR2-Initialize-COM3.exe"});

  action = model.OnOnlineUpdate(Choice("New R2 Bender", ModeRadio::Application));
  EXPECT_EQ(action.kind, Kind::SelectServerFile);
  EXPECT_EQ(action.jobSpec, "PUpdate-NR2-APPLICATION-COM3.exe");
  EXPECT_TRUE(action.standardList);

  action = model.OnOnlineUpdate(Choice("Custom One", ModeRadio::Fpga));
  EXPECT_EQ(action.kind, Kind::SelectServerFile);
  EXPECT_EQ(action.jobSpec, "PUpdate-CUSTOM-FPGA-COM3.exe");

  EXPECT_EQ(model.OnOnlineUpdate(Choice("Plain Rim")).kind, Kind::Nothing);
  EXPECT_EQ(model.OnOnlineUpdate(Choice("New R2 Bender", ModeRadio::None)).kind, Kind::Nothing);
  // Missing choices are refused instead of read.
  action = model.OnOnlineUpdate(Choice("New R2 Bender", ModeRadio::Firmware, std::nullopt));
  EXPECT_EQ(action.kind, Kind::Refuse);
  EXPECT_EQ(action.message, kNoPortSelected);
  action = model.OnOnlineUpdate({std::nullopt, "COM3", ModeRadio::Firmware});
  EXPECT_EQ(action.kind, Kind::Refuse);
  EXPECT_EQ(action.message, kNoMachineSelected);
  // NONE needs no port: it does nothing either way.
  EXPECT_EQ(model.OnOnlineUpdate(Choice("Plain Rim", ModeRadio::Firmware, std::nullopt)).kind,
            Kind::Nothing);
}

TEST_F(MainDialogModelTest, SelectableServoAndStepListTheRightVariant) {
  const MainDialogModel model = Model(kList);
  DialogAction action =
      model.OnOnlineUpdateSelectable(Choice("New R2 Bender", ModeRadio::Application));
  EXPECT_EQ(action.kind, Kind::SelectServerFile);
  EXPECT_EQ(action.jobSpec, "PUpdate-NR2-Application-COM3.exe");
  EXPECT_TRUE(action.standardList);
  // An empty mode word ends Selectable before the machine is looked at.
  EXPECT_EQ(model.OnOnlineUpdateSelectable({std::nullopt, std::nullopt, ModeRadio::None}).kind,
            Kind::Nothing);

  action = model.OnServoDriverSetting(Choice("New R2 Bender", ModeRadio::None, "COM7"));
  EXPECT_EQ(action.jobSpec, "PUpdate-NR2-SERVO-COM7.exe");
  EXPECT_FALSE(action.standardList);
  action = model.OnStepDriverSetting(Choice("New R2 Bender"));
  EXPECT_EQ(action.jobSpec, "PUpdate-NR2-STEP-COM3.exe");
  EXPECT_FALSE(action.standardList);
  EXPECT_EQ(model.OnServoDriverSetting(Choice("Plain Rim")).kind, Kind::Nothing);
  EXPECT_EQ(model.OnStepDriverSetting(Choice("New R2 Bender", ModeRadio::Fpga, {})).kind,
            Kind::Refuse);
}

TEST_F(MainDialogModelTest, LocalUpdatePicksAFileWithTheRadiosFilter) {
  const MainDialogModel model = Model(kList);
  EXPECT_EQ(model.OnLocalUpdate(Choice("New R2 Bender", ModeRadio::Firmware)).filter,
            "Firmware (*.HEX) | *.HEX||");
  EXPECT_EQ(model.OnLocalUpdate(Choice("New R2 Bender", ModeRadio::Initialize)).filter,
            "Firmware (*.HEX) | *.HEX||");
  EXPECT_EQ(model.OnLocalUpdate(Choice("New R2 Bender", ModeRadio::Fpga)).filter,
            "FPGA Rom (*.BIN) | *.BIN||");
  EXPECT_EQ(model.OnLocalUpdate(Choice("New R2 Bender", ModeRadio::Application)).filter,
            "Application (*.ZIP) | *.ZIP||");
  EXPECT_EQ(model.OnLocalUpdate(Choice("New R2 Bender", ModeRadio::None)).kind, Kind::Nothing);

  const DialogAction run =
      model.LocalUpdateChosen(Choice("New R2 Bender", ModeRadio::Fpga), "/tmp/a b.bin");
  EXPECT_EQ(run.kind, Kind::RunJob);
  EXPECT_EQ(run.jobArgs,
            (std::vector<std::string>{"PUpdate-NR2-FPGA-COM3.exe", "/tmp/a b.bin", "local"}));
  EXPECT_EQ(model.LocalUpdateChosen(Choice("New R2 Bender"), "").kind, Kind::Nothing);
  EXPECT_EQ(model.OnLocalUpdate(Choice("Plain Rim")).kind, Kind::PickLocalFile);
  EXPECT_EQ(model.LocalUpdateChosen(Choice("Plain Rim"), "/tmp/x.hex").kind, Kind::Nothing);

  // In local mode Online Update is Local Update.
  const MainDialogModel local = Model(kList, "PelluxUpdateV3L");
  const DialogAction pick = local.OnOnlineUpdate(Choice("Local Update"));
  EXPECT_EQ(pick.kind, Kind::PickLocalFile);
  EXPECT_EQ(local.LocalUpdateChosen(Choice("Local Update"), "/f.hex").jobArgs[0],
            "PUpdate-Local-Firmware-COM3.exe");
}

TEST_F(MainDialogModelTest, DownloadExtendAndEngineerView) {
  MainDialogModel model = Model("Slashed,abc/def\nQuiet,none\nNR2,NR2\n");
  DialogAction action = model.OnDownloadOnlineFiles(Choice("Slashed"));
  EXPECT_EQ(action.kind, Kind::DownloadOnlineFiles);
  EXPECT_EQ(action.machineKey, "ABC/DEF");
  EXPECT_EQ(model.OnDownloadOnlineFiles(Choice("Quiet")).kind, Kind::Nothing);
  // The download needs no port.
  EXPECT_EQ(model.OnDownloadOnlineFiles(Choice("NR2", ModeRadio::None, {})).kind,
            Kind::DownloadOnlineFiles);

  action = model.OnExtendSetting(Choice("NR2", ModeRadio::None, "COM4"));
  EXPECT_EQ(action.kind, Kind::ExtendSetting);
  EXPECT_EQ(action.machineText, "NR2");
  EXPECT_EQ(action.portText, "COM4");

  const std::string title = model.Title();
  EXPECT_EQ(model.CurrentTitle(), title);
  EXPECT_TRUE(model.OnEngineerHotKey());
  EXPECT_TRUE(model.OnEngineerHotKey());
  EXPECT_EQ(model.CurrentTitle(), title + " For Engineer");

  MainDialogModel local = Model("", "PelluxUpdateV3L");
  EXPECT_FALSE(local.OnEngineerHotKey());
  EXPECT_FALSE(local.IsEngineerView());
  local.OnEngineerDoubleClick();
  EXPECT_EQ(local.CurrentTitle(), local.Title() + " For Engineer");
}

TEST(DownloadPlan, FoldersAndUrls) {
  EXPECT_EQ(DownloadBaseFolder("/opt/pux", "ABC/DEF"), std::filesystem::path("/opt/pux/ABC_DEF"));
  EXPECT_EQ(DownloadListSpec("ABC/DEF", "FIRMWARE"), "PUpdate-ABC/DEF-FIRMWARE.exe");
  EXPECT_EQ(DownloadFileUrl("ABC/DEF", "SERVO", "s.csv"), ServerBaseUrl() + "ABC/DEF/SERVO/s.csv");
  EXPECT_EQ(DownloadFileUrl("ABC/DEF", "ETC", "tool.zip"), ServerBaseUrl() + "/ETC/tool.zip");
}

TEST(OpenFileFilter, BarsSeparateDescriptionAndPatternUntrimmed) {
  const auto entries = SplitOpenFileFilter("Firmware (*.HEX) | *.HEX||");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].description, "Firmware (*.HEX) ");
  EXPECT_EQ(entries[0].pattern, " *.HEX");
  EXPECT_EQ(SplitOpenFileFilter("A|*.a|B|*.b||").size(), 2u);
}

}  // namespace
