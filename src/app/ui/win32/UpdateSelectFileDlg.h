#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace pellux {

// Lets the user pick one of the server's files for a job and runs the job
// with it, as often as OK is pressed, until the dialog is closed. A Win32
// dialog from its template; `owner` is disabled while it runs.
class UpdateSelectFileDlg {
 public:
  // `statusLine` says why `fileNames` is empty, if it is.
  UpdateSelectFileDlg(std::string jobSpec, std::vector<std::string> fileNames,
                      std::string statusLine);
  void Run(HWND owner);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog(HWND window);
  void OnRunSelected(HWND window);

  std::string jobSpec_;
  std::vector<std::string> fileNames_;
  std::string statusLine_;
};

}  // namespace pellux
