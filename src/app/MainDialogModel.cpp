#include "app/MainDialogModel.h"

#include <utility>

#include "app/CommandLine.h"
#include "app/MachineListFile.h"
#include "app/Settings.h"
#include "base/AsciiCase.h"
#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "base/SplitText.h"
#include "jobs/ConsoleHost.h"
#include "jobs/LineRecordingConsole.h"
#include "net/ServerBaseUrl.h"
#include "net/ServerFiles.h"
#include "serial/SerialCommunication.h"

namespace pellux {

namespace {
constexpr const char* kVersion = "251112";

DialogAction Refuse(const char* message) {
  DialogAction action;
  action.kind = DialogAction::Kind::Refuse;
  action.message = message;
  return action;
}

DialogAction RunJob(std::vector<std::string> args) {
  DialogAction action;
  action.kind = DialogAction::Kind::RunJob;
  action.jobArgs = std::move(args);
  return action;
}
}  // namespace

std::string DialogJobSpec(const std::string& key, const std::string& modeWord,
                          const std::string& port) {
  return "PUpdate-" + key + "-" + modeWord + "-" + port + ".exe";
}

std::string MainDialogTitle(const std::string& serverBaseUrl) {
  return std::string("PelluxUpdateV3 (V") + kVersion + ") - " + serverBaseUrl;
}

std::optional<size_t> FindStoredMachine(const std::vector<std::string>& names,
                                        const std::string& stored) {
  for (size_t step = 1; step <= names.size(); ++step) {
    const size_t index = step % names.size();
    if (StartsWithIgnoringAsciiCase(names[index], stored)) return index;
  }
  return std::nullopt;
}

MainDialogModel::MainDialogModel(std::shared_ptr<MachineList> catalogue)
    : catalogue_(std::move(catalogue)) {}

void MainDialogModel::Initialise(const std::string& firstToken) {
  LineRecordingConsole fetchConsole(ActiveConsole());
  // Fetched in local mode too: the server learns of the start either way.
  const std::string text =
      FetchText(ServerBaseUrl() + kMachineListFileName, JobCancellation(), fetchConsole);
  InitialiseWith(firstToken, text, fetchConsole.LastLine());
  if (!statusLine_.empty() && !AnalyseProgramName(firstToken).localMode) {
    std::vector<std::string> note = fetchConsole.Lines();
    note.push_back(statusLine_);
    ActiveConsoleHost().LogNote("DIALOG", note);
  }
}

void MainDialogModel::InitialiseWith(const std::string& firstToken,
                                     const std::string& machineListText,
                                     const std::string& fetchFailure) {
  title_ = MainDialogTitle(ServerBaseUrl());
  engineerView_ = false;
  machineNames_.clear();
  catalogue_->Clear();
  statusLine_.clear();

  const std::string listUrl = ServerBaseUrl() + kMachineListFileName;
  const bool localFlag = AnalyseProgramName(firstToken).localMode;
  if (SplitText(machineListText, '\n').empty() || localFlag) {
    catalogue_->Store(kLocalUpdateName, kKeyLocal);
    machineNames_.push_back(kLocalUpdateName);
    onlineButtonText_ = kLocalUpdateName;
    if (localFlag) {
      statusLine_ = "Local mode: the program's name ends in L.";
    } else {
      const std::string why = fetchFailure.empty() ? "the server sent an empty list" : fetchFailure;
      statusLine_ = "Local mode: no machine list from " + listUrl + " (" + why +
                    "). Check the network and the server, then start the program again.";
    }
  } else {
    onlineButtonText_ = kOnlineUpdateText;
    for (const MachineListEntry& entry : ParseMachineList(machineListText)) {
      catalogue_->Store(entry.displayName, entry.key);
      machineNames_.push_back(entry.displayName);
    }
    if (machineNames_.empty()) {
      statusLine_ = "The machine list " + listUrl +
                    " names no machine (lines of the form name,KEY): check it on the server.";
    }
  }

  initialMachine_ = machineNames_.empty() ? std::nullopt : std::optional<size_t>(0);
  if (!catalogue_->IsLocalMode()) {
    const std::string stored = LoadSetting(kMachineTypeValue);
    if (!stored.empty()) initialMachine_ = FindStoredMachine(machineNames_, stored);
  }
  ports_ = SerialCommunication::EnumeratePorts();
}

std::string MainDialogModel::KeyOf(const std::string& machineText) const {
  return catalogue_->GetMachineKey(machineText);
}

DialogAction MainDialogModel::OnOnlineUpdate(const DialogSelection& selection) const {
  if (!selection.machineText) return Refuse(kNoMachineSelected);
  if (*selection.machineText == kLocalUpdateName) return OnLocalUpdate(selection);
  const std::string key = KeyOf(*selection.machineText);
  if (key == kKeyCustom) return OnOnlineUpdateSelectable(selection);
  if (key == kKeyNone) return {};
  const std::string mode = ModeWord(selection.mode);
  if (mode.empty()) return {};
  if (selection.mode == ModeRadio::Application) {
    return SelectAndRunServerFile(selection, "APPLICATION", true);
  }
  if (!selection.portText) return Refuse(kNoPortSelected);
  // The job downloads and uses the first file of the server's list.
  return RunJob({DialogJobSpec(key, mode, *selection.portText)});
}

DialogAction MainDialogModel::OnOnlineUpdateSelectable(const DialogSelection& selection) const {
  const std::string mode = ModeWord(selection.mode);
  if (mode.empty()) return {};
  return SelectAndRunServerFile(selection, mode, true);
}

DialogAction MainDialogModel::OnServoDriverSetting(const DialogSelection& selection) const {
  return SelectAndRunServerFile(selection, "SERVO", false);
}

DialogAction MainDialogModel::OnStepDriverSetting(const DialogSelection& selection) const {
  return SelectAndRunServerFile(selection, "STEP", false);
}

DialogAction MainDialogModel::SelectAndRunServerFile(const DialogSelection& selection,
                                                     const std::string& modeWord,
                                                     bool standardList) const {
  if (!selection.machineText) return Refuse(kNoMachineSelected);
  const std::string key = KeyOf(*selection.machineText);
  if (key == kKeyNone) return {};
  if (!selection.portText) return Refuse(kNoPortSelected);
  DialogAction action;
  action.kind = DialogAction::Kind::SelectServerFile;
  action.jobSpec = DialogJobSpec(key, modeWord, *selection.portText);
  action.standardList = standardList;
  return action;
}

DialogAction MainDialogModel::OnLocalUpdate(const DialogSelection& selection) const {
  const std::string filter = LocalUpdateFilter(selection.mode);
  if (filter.empty()) return {};
  if (!selection.machineText) return Refuse(kNoMachineSelected);
  // Refused before the user picks a file that could not be used.
  if (KeyOf(*selection.machineText) != kKeyNone && !selection.portText) {
    return Refuse(kNoPortSelected);
  }
  DialogAction action;
  action.kind = DialogAction::Kind::PickLocalFile;
  action.filter = filter;
  return action;
}

DialogAction MainDialogModel::LocalUpdateChosen(const DialogSelection& selection,
                                                const std::string& path) const {
  if (path.empty()) return {};
  const std::string mode = ModeWord(selection.mode);
  if (mode.empty()) return {};
  if (!selection.machineText) return Refuse(kNoMachineSelected);
  const std::string key = KeyOf(*selection.machineText);
  if (key == kKeyNone) return {};
  if (!selection.portText) return Refuse(kNoPortSelected);
  return RunJob({DialogJobSpec(key, mode, *selection.portText), path, "local"});
}

DialogAction MainDialogModel::OnDownloadOnlineFiles(const DialogSelection& selection) const {
  if (!selection.machineText) return Refuse(kNoMachineSelected);
  const std::string key = UpperAscii(KeyOf(*selection.machineText));
  if (key == kKeyNone) return {};
  DialogAction action;
  action.kind = DialogAction::Kind::DownloadOnlineFiles;
  action.machineKey = key;
  return action;
}

DialogAction MainDialogModel::OnExtendSetting(const DialogSelection& selection) const {
  if (!selection.machineText) return Refuse(kNoMachineSelected);
  const std::string key = KeyOf(*selection.machineText);
  if (key == kKeyNone) return {};
  if (!selection.portText) return Refuse(kNoPortSelected);
  DialogAction action;
  action.kind = DialogAction::Kind::ExtendSetting;
  action.machineText = *selection.machineText;
  action.machineKey = key;
  action.portText = *selection.portText;
  return action;
}

std::vector<std::string> MainDialogModel::OnRescan() {
  ports_ = SerialCommunication::EnumeratePorts();
  return ports_;
}

void MainDialogModel::OnMachineTypeChanged(const std::string& machineText) const {
  SaveSetting(kMachineTypeValue, machineText);
}

bool MainDialogModel::OnEngineerHotKey() {
  if (IsLocalMode()) return false;
  engineerView_ = true;
  return true;
}

std::string MainDialogModel::CurrentTitle() const {
  return engineerView_ ? title_ + kEngineerTitleSuffix : title_;
}

}  // namespace pellux
