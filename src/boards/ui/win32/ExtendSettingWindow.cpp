#include "boards/ui/win32/ExtendSettingWindow.h"

#include "boards/CCamVer1.h"
#include "boards/ui/win32/CFloatEdit.h"
#include "net/win32/WideText.h"

namespace pellux {

namespace {
constexpr const wchar_t* kMessageCaption = L"PelluxUpdateV3";

// An event object for as long as the scope lives.
class Event {
 public:
  Event() : handle_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  ~Event() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  HANDLE Handle() const { return handle_; }

 private:
  HANDLE handle_;
};

// Sleeps until `event` is signalled (when given) or `milliseconds` have
// passed, repainting windows meanwhile; input stays queued until it is over.
// True when the event came.
bool WaitRepainting(HANDLE event, int milliseconds) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
  const DWORD count = event != nullptr ? 1 : 0;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    const DWORD result =
        MsgWaitForMultipleObjects(count, event != nullptr ? &event : nullptr, FALSE,
                                  static_cast<DWORD>(deadline - now), QS_PAINT);
    if (count == 1 && result == WAIT_OBJECT_0) return true;
    if (result != WAIT_OBJECT_0 + count) return false;
    MSG message;
    // A bounded round: a window that never validates cannot keep us here.
    for (int i = 0; i < 64 && PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i)
      DispatchMessageW(&message);
  }
}
}  // namespace

void ShowExtendSettingMessage(HWND owner, const std::string& text) {
  MessageBoxW(owner, ToWide(text).c_str(), kMessageCaption, MB_OK);
}

ExtendSettingWindow::ExtendSettingWindow(const ExtendSettingForm& form, std::string portName)
    : editor_(form, std::move(portName), *this) {}

void ExtendSettingWindow::Run(HWND owner) {
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(editor_.Form().templateId), owner,
                  &ExtendSettingWindow::DialogProc, reinterpret_cast<LPARAM>(this));
  dialog_ = nullptr;
}

INT_PTR CALLBACK ExtendSettingWindow::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<ExtendSettingWindow*>(lParam);
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    self->dialog_ = dialog;
    self->OnInitDialog();
    return TRUE;
  }
  auto* self = reinterpret_cast<ExtendSettingWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (self == nullptr || message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return FALSE;
  switch (LOWORD(wParam)) {
    case kLoadButtonId:
      self->editor_.OnLoad();
      return TRUE;
    case kSaveButtonId:
      self->editor_.OnSave();
      return TRUE;
    case kCloseButtonId:  // also Esc
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:  // Enter in a value box (IDOK) neither loads nor saves
      return FALSE;
  }
}

void ExtendSettingWindow::OnInitDialog() {
  for (const int id : editor_.Form().boxIds) CFloatEdit::Attach(GetDlgItem(dialog_, id));
}

std::string ExtendSettingWindow::BoxText(size_t box) const {
  const HWND edit = GetDlgItem(dialog_, editor_.Form().boxIds.at(box));
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
  return FromWide(text);
}

void ExtendSettingWindow::SetBoxText(size_t box, const std::string& text) {
  SetDlgItemTextW(dialog_, editor_.Form().boxIds.at(box), ToWide(text).c_str());
}

void ExtendSettingWindow::ShowMessage(const std::string& text) {
  ShowExtendSettingMessage(dialog_, text);
}

bool ExtendSettingWindow::WaitForAnswer(CCamVer1& board, int milliseconds) {
  if (board.TakeAnswerReady()) return true;
  Event answered;
  board.SetAnswerListener([event = answered.Handle()] { SetEvent(event); });
  // An answer completed before the listener was set is caught here.
  bool ready = board.TakeAnswerReady();
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
  while (!ready) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline || !WaitRepainting(answered.Handle(), static_cast<int>(deadline - now)))
      break;
    ready = board.TakeAnswerReady();
  }
  board.SetAnswerListener(nullptr);
  return ready || board.TakeAnswerReady();
}

void ExtendSettingWindow::Pause(int milliseconds) {
  WaitRepainting(nullptr, milliseconds);
}

}  // namespace pellux
