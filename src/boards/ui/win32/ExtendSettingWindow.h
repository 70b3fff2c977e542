#pragma once

#include <windows.h>

#include <string>

#include "boards/ExtendSettingEditor.h"

namespace pellux {

// The Win32 view of an extend setting dialog (`ExtendSetting_NR2` on
// template 107, `ExtendSetting_R1PS` on 108): runs the form's template modally, filters its value
// boxes and carries out the editor's decisions. While the board is awaited the dialog is repainted
// but takes no input.
class ExtendSettingWindow : private ExtendSettingView {
 public:
  ExtendSettingWindow(const ExtendSettingForm& form, std::string portName);
  ExtendSettingWindow(const ExtendSettingWindow&) = delete;
  ExtendSettingWindow& operator=(const ExtendSettingWindow&) = delete;

  // Returns when the user has closed the dialog.
  void Run(HWND owner = nullptr);

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();

  std::string BoxText(size_t box) const override;
  void SetBoxText(size_t box, const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  bool WaitForAnswer(CCamVer1& board, int milliseconds) override;
  void Pause(int milliseconds) override;

  ExtendSettingEditor editor_;
  HWND dialog_ = nullptr;
};

// A message box of the extend settings: OK, no icon, the program's name as caption.
void ShowExtendSettingMessage(HWND owner, const std::string& text);

}  // namespace pellux
