#include "app/ConflictingWindows.h"

#include <windows.h>

#include "app/CommandLine.h"

namespace pellux {

namespace {
// The exit command of the machine application's and the CAM program's menus.
constexpr WPARAM kAppExitCommand = 57665;
constexpr int kTitleBufferSize = 255;

BOOL CALLBACK AskToExit(HWND window, LPARAM) {
  char title[kTitleBufferSize] = {};
  GetWindowTextA(window, title, kTitleBufferSize);
  // Posted, not sent: a program that does not answer cannot hold up the start.
  if (IsConflictingWindowTitle(title)) PostMessageA(window, WM_COMMAND, kAppExitCommand, 0);
  return TRUE;
}
}  // namespace

void CloseConflictingWindows() {
  EnumWindows(AskToExit, 0);
}

}  // namespace pellux
