#include "base/TerminalConsole.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "base/Cancellation.h"

namespace pellux {

namespace {
// Longest sleep between looks at input that cannot be waited on (a pipe).
constexpr DWORD kPipeLookMs = 50;

BOOL WINAPI CancelOnControlEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      JobCancellation().CancelFromSignal();
      return TRUE;  // handled: the job ends by itself and releases its port
    case CTRL_CLOSE_EVENT:
      JobCancellation().CancelFromSignal();
      return FALSE;  // the system ends the process
    default:
      return FALSE;
  }
}

// Sleeps on `input` (when given) and the cancellation; true when the input is signalled.
bool WaitForInputOrCancel(HANDLE input, const CancelToken& cancel, DWORD timeoutMs) {
  HANDLE handles[2];
  DWORD count = 0;
  if (input != nullptr) handles[count++] = input;
  if (cancel.Wake().NativeHandle() != -1) {
    handles[count++] = reinterpret_cast<HANDLE>(cancel.Wake().NativeHandle());
  }
  if (count == 0) {
    Sleep(timeoutMs);
    return false;
  }
  const DWORD result = WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
  return input != nullptr && result == WAIT_OBJECT_0;
}

// A console in line mode: keys are echoed and the first character of the
// line is the answer once Enter is pressed.
int ReadKeyFromConsole(HANDLE input, const CancelToken& cancel) {
  std::string line;
  for (;;) {
    if (cancel.IsCancelled()) return -1;
    if (!WaitForInputOrCancel(input, cancel, INFINITE)) continue;
    INPUT_RECORD record{};
    DWORD read = 0;
    if (!ReadConsoleInputA(input, &record, 1, &read)) return -1;
    if (read == 0 || record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
    const char c = record.Event.KeyEvent.uChar.AsciiChar;
    if (c == '\r') {
      std::fputs("\r\n", stdout);
      std::fflush(stdout);
      return line.empty() ? '\n' : static_cast<unsigned char>(line[0]);
    }
    if (c == '\b') {
      if (!line.empty()) {
        line.pop_back();
        std::fputs("\b \b", stdout);
      }
    } else if (static_cast<unsigned char>(c) >= ' ') {
      line += c;
      std::fputc(c, stdout);
    }
    std::fflush(stdout);
  }
}

// Redirected input: a pipe is looked at between short sleeps on the
// cancellation; a file never blocks.
int ReadKeyFromStream(HANDLE input, const CancelToken& cancel) {
  for (;;) {
    if (cancel.IsCancelled()) return -1;
    DWORD available = 0;
    if (PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) {
      if (available == 0) {
        WaitForInputOrCancel(nullptr, cancel, kPipeLookMs);
        continue;
      }
    } else if (GetLastError() == ERROR_BROKEN_PIPE) {
      return -1;  // the writer has gone: end of input
    }
    char byte = 0;
    DWORD read = 0;
    if (!ReadFile(input, &byte, 1, &read, nullptr) || read == 0) return -1;
    return static_cast<unsigned char>(byte);
  }
}
}  // namespace

void TerminalConsole::Write(std::string_view text) {
  std::lock_guard lock(writeMutex_);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

int TerminalConsole::ReadKey(const CancelToken& cancel) {
  std::fflush(stdout);
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return -1;
  DWORD mode = 0;
  if (GetConsoleMode(input, &mode)) return ReadKeyFromConsole(input, cancel);
  return ReadKeyFromStream(input, cancel);
}

void CancelJobOnInterrupt() {
  SetConsoleCtrlHandler(CancelOnControlEvent, TRUE);
}

void RestoreInterruptHandling() {
  SetConsoleCtrlHandler(CancelOnControlEvent, FALSE);
}

TerminalConsole& TerminalConsole::Instance() {
  static TerminalConsole console;
  return console;
}

}  // namespace pellux
