#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

#include "app/MainDialogModel.h"

namespace pellux {

// The main dialog on Windows: a Win32 dialog from its template, bound to
// MainDialogModel, carrying out what the model decides.
class WinUIDlg {
 public:
  // `firstToken` is the program's file name as started (local mode by name).
  explicit WinUIDlg(std::string firstToken);
  // False when the dialog could not be opened (no desktop to show it on).
  bool Run();

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  bool OnCommand(WORD id, WORD notification);
  void OnDestroy();

  DialogSelection CurrentSelection() const;
  void Perform(const DialogAction& action, const DialogSelection& selection);
  std::string PickOpenFile(const std::string& filter);
  void FillPorts();
  void ApplyView();

  std::string firstToken_;
  MainDialogModel model_;
  HWND window_ = nullptr;
  ATOM hotKeyId_ = 0;
  RECT fullRect_{};
  int compactHeight_ = 0;
};

}  // namespace pellux
