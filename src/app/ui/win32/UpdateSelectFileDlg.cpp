#include "app/ui/win32/UpdateSelectFileDlg.h"

#include <optional>
#include <utility>

#include "DialogIds.h"
#include "app/FileSelection.h"
#include "app/ui/win32/DialogText.h"
#include "jobs/ConsoleRunner.h"

namespace pellux {

namespace {
constexpr int kDropDownWidth = 400;
constexpr int kStatusGap = 6;  // dialog units below the status line
}  // namespace

UpdateSelectFileDlg::UpdateSelectFileDlg(std::string jobSpec, std::vector<std::string> fileNames,
                                         std::string statusLine)
    : jobSpec_(std::move(jobSpec)),
      fileNames_(std::move(fileNames)),
      statusLine_(std::move(statusLine)) {}

void UpdateSelectFileDlg::Run(HWND owner) {
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_UPDATESELECTFILEDLG), owner,
                  DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK UpdateSelectFileDlg::DialogProc(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    reinterpret_cast<UpdateSelectFileDlg*>(lParam)->OnInitDialog(window);
    return TRUE;
  }
  auto* self = reinterpret_cast<UpdateSelectFileDlg*>(GetWindowLongPtrW(window, DWLP_USER));
  if (self == nullptr || message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case IDC_RUN_SELECTED:
      self->OnRunSelected(window);
      return TRUE;
    case IDCANCEL:
      EndDialog(window, IDCANCEL);
      return TRUE;
  }
  return FALSE;
}

void UpdateSelectFileDlg::OnInitDialog(HWND window) {
  const HWND box = GetDlgItem(window, IDC_FILE_LIST);
  for (const std::string& name : fileNames_) {
    SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ShownText(name).c_str()));
  }
  SendMessageW(box, CB_SETCURSEL, fileNames_.empty() ? -1 : 0, 0);
  SendMessageW(box, CB_SETDROPPEDWIDTH, kDropDownWidth, 0);

  // The reason for an empty list goes under the buttons; the window grows to hold it.
  RECT client;
  GetClientRect(window, &client);
  RECT gap{0, 0, 0, kStatusGap};
  MapDialogRect(window, &gap);
  const int height = PlaceStatusLine(window, IDC_STATUS_LINE, statusLine_, client.bottom);
  if (height > 0) {
    RECT frame;
    GetWindowRect(window, &frame);
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left,
                 frame.bottom - frame.top + height + gap.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void UpdateSelectFileDlg::OnRunSelected(HWND window) {
  const LRESULT index = SendDlgItemMessageW(window, IDC_FILE_LIST, CB_GETCURSEL, 0, 0);
  const auto job = SelectedFileJob(jobSpec_, fileNames_,
                                   index == CB_ERR ? std::nullopt : std::optional<size_t>(index));
  if (!job) return;  // an empty list starts nothing
  if (!RunJobInConsole(*job)) ShowMessage(window, "Fail", MessageIcon::Stop);
}

}  // namespace pellux
