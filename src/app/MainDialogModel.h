#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/MachineList.h"
#include "app/ModeRadio.h"

namespace pellux {

// What the main dialog's controls hold when a handler runs. An absent text
// means the box has no selected entry.
struct DialogSelection {
  std::optional<std::string> machineText;
  std::optional<std::string> portText;
  ModeRadio mode = ModeRadio::None;
};

// What a handler decided; the dialog carries it out.
struct DialogAction {
  enum class Kind {
    Nothing,              // a silent refusal, or nothing to do
    Refuse,               // show `message` and stop
    RunJob,               // RunJobInConsole with `jobArgs`
    SelectServerFile,     // list the server's files for `jobSpec`, let the user pick one
    PickLocalFile,        // open-file dialog with `filter`, then LocalUpdateChosen
    DownloadOnlineFiles,  // fetch every server file of `machineKey` beside the program
    ExtendSetting,  // the machine's extend setting for `machineText`, `machineKey`, `portText`
  };
  Kind kind = Kind::Nothing;
  std::string message;
  std::vector<std::string> jobArgs;
  std::string jobSpec;
  bool standardList = true;
  std::string filter;
  std::string machineText;
  std::string machineKey;
  std::string portText;
};

inline constexpr const char* kNoMachineSelected = "No machine type is selected.";
inline constexpr const char* kNoPortSelected = "No serial port is selected.";
inline constexpr const char* kLocalUpdateName = "Local Update";
inline constexpr const char* kOnlineUpdateText = "Online Update";
inline constexpr const char* kEngineerTitleSuffix = " For Engineer";

// "PUpdate-<key>-<mode word>-<port>.exe"
std::string DialogJobSpec(const std::string& key, const std::string& modeWord,
                          const std::string& port);

// The window title: "PelluxUpdateV3 (V251112) - <server base URL>".
std::string MainDialogTitle(const std::string& serverBaseUrl);

// The entry a stored machine name selects: the first entry that begins with
// it, ignoring case, searched from entry 1 on and ending with entry 0.
std::optional<size_t> FindStoredMachine(const std::vector<std::string>& names,
                                        const std::string& stored);

// The behaviour of the main dialog without its window: what it shows after
// initialisation and what each button does with the current choices.
class MainDialogModel {
 public:
  explicit MainDialogModel(std::shared_ptr<MachineList> catalogue = MachineList::GetInstance());

  // Fetches the machine list from the server, then as InitialiseWith; a
  // failed fetch is also kept in a log note (the active console host's).
  void Initialise(const std::string& firstToken);
  // Fills the catalogue and the machine names from `machineListText`, decides
  // local mode by the program name, restores the stored choice, lists ports.
  // `fetchFailure` is what the fetch said when it failed ("" when it did not).
  void InitialiseWith(const std::string& firstToken, const std::string& machineListText,
                      const std::string& fetchFailure = {});

  const std::string& Title() const { return title_; }
  const std::vector<std::string>& MachineNames() const { return machineNames_; }
  std::optional<size_t> InitialMachine() const { return initialMachine_; }
  const std::vector<std::string>& Ports() const { return ports_; }
  // The text of the Online Update button ("Local Update" in local mode).
  const std::string& OnlineButtonText() const { return onlineButtonText_; }
  bool IsLocalMode() const { return catalogue_->IsLocalMode(); }
  // Why the dialog works as it does, for the line under its controls: why it
  // is in local mode, or that the server's list names no machine; empty
  // when all is as expected.
  const std::string& StatusLine() const { return statusLine_; }

  DialogAction OnOnlineUpdate(const DialogSelection& selection) const;
  DialogAction OnOnlineUpdateSelectable(const DialogSelection& selection) const;
  DialogAction OnLocalUpdate(const DialogSelection& selection) const;
  // The second half of Local Update, once the user picked `path` ("" when cancelled).
  DialogAction LocalUpdateChosen(const DialogSelection& selection, const std::string& path) const;
  DialogAction OnServoDriverSetting(const DialogSelection& selection) const;
  DialogAction OnStepDriverSetting(const DialogSelection& selection) const;
  DialogAction OnDownloadOnlineFiles(const DialogSelection& selection) const;
  DialogAction OnExtendSetting(const DialogSelection& selection) const;
  // Lists the serial ports again.
  std::vector<std::string> OnRescan();
  void OnMachineTypeChanged(const std::string& machineText) const;

  // Engineer view: Ctrl+E is ignored in local mode, a double-click always works.
  bool OnEngineerHotKey();
  void OnEngineerDoubleClick() { engineerView_ = true; }
  bool IsEngineerView() const { return engineerView_; }
  // The title of the current view (the suffix appears once, however often expanded).
  std::string CurrentTitle() const;

 private:
  DialogAction SelectAndRunServerFile(const DialogSelection& selection, const std::string& modeWord,
                                      bool standardList) const;
  std::string KeyOf(const std::string& machineText) const;

  std::shared_ptr<MachineList> catalogue_;
  std::string title_;
  std::vector<std::string> machineNames_;
  std::optional<size_t> initialMachine_;
  std::vector<std::string> ports_;
  std::string onlineButtonText_ = kOnlineUpdateText;
  std::string statusLine_;
  bool engineerView_ = false;
};

}  // namespace pellux
