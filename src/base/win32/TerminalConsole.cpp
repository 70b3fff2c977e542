#include "base/TerminalConsole.h"

#include <windows.h>

#include <cstdio>

#include "base/Cancellation.h"
#include "base/ConsoleClose.h"
#include "base/CrlfLineEnds.h"
#include "base/win32/ConsoleControl.h"
#include "base/win32/ConsoleIo.h"

namespace pellux {

namespace {
// One line-end convention in a console and in redirected output alike.
CrlfLineEnds lineEnds;
}  // namespace

BOOL WINAPI HandleConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      JobCancellation().CancelFromSignal();
      return TRUE;  // handled: the job ends by itself and releases its port
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      CancelJobForClose();
      return TRUE;
    default:
      return FALSE;
  }
}

void TerminalConsole::Write(std::string_view text) {
  std::lock_guard lock(writeMutex_);
  // Whatever went through the C runtime's stream comes first.
  std::fflush(stdout);
  WriteBytes(GetStdHandle(STD_OUTPUT_HANDLE), lineEnds.Convert(text));
}

int TerminalConsole::ReadKey(const CancelToken& cancel) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  {
    std::lock_guard lock(writeMutex_);
    std::fflush(stdout);
    WriteBytes(output, lineEnds.Flush());
  }
  return ReadPromptKey(GetStdHandle(STD_INPUT_HANDLE), output, cancel);
}

int TerminalConsole::Columns() {
  return IsConsoleHandle(GetStdHandle(STD_OUTPUT_HANDLE)) ? ConsoleBufferColumns() : 0;
}

void CancelJobOnInterrupt() {
  // A program started in a new process group (or as a GUI program under
  // Wine) ignores Ctrl+C until told otherwise.
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(HandleConsoleControl, TRUE);
}

void RestoreInterruptHandling() {
  SetConsoleCtrlHandler(HandleConsoleControl, FALSE);
}

TerminalConsole& TerminalConsole::Instance() {
  static TerminalConsole console;
  return console;
}

}  // namespace pellux
