#include "app/ui/win32/WinUIDlg.h"

#include <commdlg.h>

#include <utility>
#include <vector>

#include "DialogIds.h"
#include "app/FileSelection.h"
#include "app/OnlineFilesDownload.h"
#include "app/ui/win32/DialogText.h"
#include "app/ui/win32/UpdateSelectFileDlg.h"
#include "base/ProgramLocation.h"
#include "boards/ui/ExtendSetting.h"
#include "jobs/ConsoleRunner.h"
#include "net/win32/WideText.h"

namespace pellux {

namespace {
// The compact view's window edge lies this far below the Online Update button.
constexpr int kCompactMargin = 13;
constexpr int kDropDownWidth = 400;
constexpr int kStatusGap = 6;        // dialog units between the buttons and the status line
constexpr UINT kEngineerKey = 0x45;  // 'E'

struct ModeButton {
  int id;
  ModeRadio mode;
};
constexpr ModeButton kModeButtons[] = {
    {.id = IDC_FIRMWARE, .mode = ModeRadio::Firmware},
    {.id = IDC_FPGA, .mode = ModeRadio::Fpga},
    {.id = IDC_INITIALIZE, .mode = ModeRadio::Initialize},
    {.id = IDC_APPLICATION, .mode = ModeRadio::Application},
};

// Below the compact view's edge: hidden there, so that a status line under
// Online Update does not sit on top of them.
constexpr int kEngineerButtons[] = {
    IDC_ONLINE_UPDATE_SELECTABLE, IDC_EXTEND_SETTING,        IDC_LOCAL_UPDATE,
    IDC_SERVO_DRIVER_SETTING,     IDC_DOWNLOAD_ONLINE_FILES, IDC_STEP_DRIVER_SETTING};

std::optional<std::string> SelectedEntry(HWND box, const std::vector<std::string>& entries) {
  const LRESULT index = SendMessageW(box, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR || static_cast<size_t>(index) >= entries.size()) return std::nullopt;
  return entries[static_cast<size_t>(index)];
}

void FillBox(HWND box, const std::vector<std::string>& entries) {
  SendMessageW(box, CB_RESETCONTENT, 0, 0);
  for (const std::string& entry : entries) {
    SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ShownText(entry).c_str()));
  }
}

void CentreOnWorkArea(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcWork;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
}  // namespace

WinUIDlg::WinUIDlg(std::string firstToken) : firstToken_(std::move(firstToken)) {}

bool WinUIDlg::Run() {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_WINUIDLG), nullptr,
                         DialogProc, reinterpret_cast<LPARAM>(this)) != -1;
}

INT_PTR CALLBACK WinUIDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<WinUIDlg*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    self->window_ = window;
    self->OnInitDialog();
    return TRUE;
  }
  auto* self = reinterpret_cast<WinUIDlg*>(GetWindowLongPtrW(window, DWLP_USER));
  if (self == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      return self->OnCommand(LOWORD(wParam), HIWORD(wParam));
    case WM_HOTKEY:
      if (wParam != self->hotKeyId_) return FALSE;
      if (self->model_.OnEngineerHotKey()) self->ApplyView();
      return TRUE;
    case WM_LBUTTONDBLCLK:
      self->model_.OnEngineerDoubleClick();
      self->ApplyView();
      return TRUE;
    case WM_DESTROY:
      self->OnDestroy();
      return FALSE;
  }
  return FALSE;
}

void WinUIDlg::OnInitDialog() {
  const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PELLUXUPDATE));
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

  // A failed registration (another program holds Ctrl+E) leaves the double-click.
  hotKeyId_ = GlobalAddAtomW(L"Engineer Mode");
  RegisterHotKey(window_, hotKeyId_, MOD_CONTROL, kEngineerKey);

  // Compact view: the window ends a little below the Online Update button.
  GetWindowRect(window_, &fullRect_);
  RECT button;
  GetWindowRect(GetDlgItem(window_, IDC_ONLINE_UPDATE), &button);
  compactHeight_ = button.bottom + kCompactMargin - fullRect_.top;

  model_.Initialise(firstToken_);
  SetWindowTextW(window_, ShownText(model_.Title()).c_str());
  SetDlgItemTextW(window_, IDC_ONLINE_UPDATE, ShownText(model_.OnlineButtonText()).c_str());
  const HWND machines = GetDlgItem(window_, IDC_MACHINE_TYPE);
  FillBox(machines, model_.MachineNames());
  const auto initial = model_.InitialMachine();
  SendMessageW(machines, CB_SETCURSEL, initial ? static_cast<WPARAM>(*initial) : -1, 0);
  SendMessageW(machines, CB_SETDROPPEDWIDTH, kDropDownWidth, 0);
  FillPorts();
  CheckRadioButton(window_, IDC_FIRMWARE, IDC_APPLICATION, IDC_FIRMWARE);
  ApplyView();
  CentreOnWorkArea(window_);
}

void WinUIDlg::OnDestroy() {
  UnregisterHotKey(window_, hotKeyId_);
  GlobalDeleteAtom(hotKeyId_);
}

bool WinUIDlg::OnCommand(WORD id, WORD notification) {
  const DialogSelection selection = CurrentSelection();
  switch (id) {
    case IDOK:  // Enter: no button of the dialog is its default, so Enter closes it
    case IDCANCEL:
      EndDialog(window_, id);
      return true;
    case IDC_ONLINE_UPDATE:
      Perform(model_.OnOnlineUpdate(selection), selection);
      return true;
    case IDC_ONLINE_UPDATE_SELECTABLE:
      Perform(model_.OnOnlineUpdateSelectable(selection), selection);
      return true;
    case IDC_LOCAL_UPDATE:
      Perform(model_.OnLocalUpdate(selection), selection);
      return true;
    case IDC_DOWNLOAD_ONLINE_FILES:
      Perform(model_.OnDownloadOnlineFiles(selection), selection);
      return true;
    case IDC_SERVO_DRIVER_SETTING:
      Perform(model_.OnServoDriverSetting(selection), selection);
      return true;
    case IDC_STEP_DRIVER_SETTING:
      Perform(model_.OnStepDriverSetting(selection), selection);
      return true;
    case IDC_EXTEND_SETTING:
      Perform(model_.OnExtendSetting(selection), selection);
      return true;
    case IDC_RESCAN:
      model_.OnRescan();
      FillPorts();
      return true;
    case IDC_MACHINE_TYPE:
      // Only the user's choices are saved, not the selection made at start.
      if (notification == CBN_SELCHANGE && selection.machineText) {
        model_.OnMachineTypeChanged(*selection.machineText);
      }
      return true;
  }
  return false;
}

DialogSelection WinUIDlg::CurrentSelection() const {
  DialogSelection selection;
  selection.machineText =
      SelectedEntry(GetDlgItem(window_, IDC_MACHINE_TYPE), model_.MachineNames());
  selection.portText = SelectedEntry(GetDlgItem(window_, IDC_PORT), model_.Ports());
  for (const ModeButton& button : kModeButtons) {
    if (IsDlgButtonChecked(window_, button.id) == BST_CHECKED) {
      selection.mode = button.mode;
      break;
    }
  }
  return selection;
}

void WinUIDlg::Perform(const DialogAction& action, const DialogSelection& selection) {
  switch (action.kind) {
    case DialogAction::Kind::Nothing:
      return;
    case DialogAction::Kind::Refuse:
      ShowMessage(window_, action.message, MessageIcon::Warning);
      return;
    case DialogAction::Kind::RunJob:
      // The job reports through its own console lines; the result is not shown here.
      RunJobInConsole(action.jobArgs);
      return;
    case DialogAction::Kind::SelectServerFile: {
      ServerFileOffer offer = OfferServerFiles(action.jobSpec, action.standardList);
      UpdateSelectFileDlg dialog(action.jobSpec, std::move(offer.fileNames),
                                 std::move(offer.statusLine));
      dialog.Run(window_);
      return;
    }
    case DialogAction::Kind::PickLocalFile:
      Perform(model_.LocalUpdateChosen(selection, PickOpenFile(action.filter)), selection);
      return;
    case DialogAction::Kind::DownloadOnlineFiles:
      DownloadOnlineFilesInConsole(RunningProgramPath().parent_path(), action.machineKey);
      return;
    case DialogAction::Kind::ExtendSetting:
      RunExtendSetting(action.machineText, action.machineKey, action.portText);
      return;
  }
}

std::string WinUIDlg::PickOpenFile(const std::string& filter) {
  // Each bar of the filter text becomes the zero that ends an entry.
  std::wstring filterText = ShownText(filter);
  for (wchar_t& c : filterText) {
    if (c == L'|') c = L'\0';
  }
  std::wstring path(32768, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  // Owned by the dialog, so that no second button can be pressed meanwhile.
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = filterText.c_str();
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  // The job's temporary files live in the current folder: it must not
  // follow the picked file.
  dialog.Flags =
      OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&dialog)) return {};
  path.resize(wcslen(path.c_str()));
  const auto narrow = ToAnsiCodePage(path);
  if (!narrow) {
    ShowMessage(window_,
                "The file name has characters this system cannot pass on; rename the file or "
                "its folder and try again.",
                MessageIcon::Warning);
    return {};
  }
  return *narrow;
}

void WinUIDlg::FillPorts() {
  const HWND ports = GetDlgItem(window_, IDC_PORT);
  FillBox(ports, model_.Ports());
  SendMessageW(ports, CB_SETCURSEL, model_.Ports().empty() ? -1 : 0, 0);
}

void WinUIDlg::ApplyView() {
  // The status line goes under the lowest row of buttons the view shows.
  const bool engineer = model_.IsEngineerView();
  for (int id : kEngineerButtons)
    ShowWindow(GetDlgItem(window_, id), engineer ? SW_SHOWNA : SW_HIDE);
  RECT lowest;
  GetWindowRect(GetDlgItem(window_, engineer ? IDC_DOWNLOAD_ONLINE_FILES : IDC_ONLINE_UPDATE),
                &lowest);
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&lowest), 2);
  RECT gap{0, 0, 0, kStatusGap};
  MapDialogRect(window_, &gap);
  const int text =
      PlaceStatusLine(window_, IDC_STATUS_LINE, model_.StatusLine(), lowest.bottom + gap.bottom);
  const int height = engineer ? fullRect_.bottom - fullRect_.top : compactHeight_;
  SetWindowPos(window_, nullptr, 0, 0, fullRect_.right - fullRect_.left,
               height + (text > 0 ? text + gap.bottom : 0),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowTextW(window_, ShownText(model_.CurrentTitle()).c_str());
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

}  // namespace pellux
