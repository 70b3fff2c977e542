#include "base/JobTerminal.h"

#include <windows.h>

#include <string>

#include "base/win32/ConsoleIo.h"

namespace pellux {

namespace {
HANDLE OpenConsoleDevice(const wchar_t* name) {
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

// A handle that leads somewhere other than a console: a file, a pipe, NUL.
bool IsRedirected(HANDLE handle) {
  return IsUsableHandle(handle) && !IsConsoleHandle(handle) &&
         GetFileType(handle) != FILE_TYPE_UNKNOWN;
}
}  // namespace

struct JobTerminal::State {
  HANDLE savedInput = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE savedOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE savedError = GetStdHandle(STD_ERROR_HANDLE);
  HANDLE screen = INVALID_HANDLE_VALUE;
  HANDLE keyboard = INVALID_HANDLE_VALUE;
  bool freeConsole = false;  // attached or allocated here
  bool handlesReplaced = false;
  bool window = false;
};

JobTerminal::JobTerminal(Use use) : state_(std::make_unique<State>()) {
  State& s = *state_;
  if (use == Use::StartingConsole) {
    if (IsConsoleHandle(s.savedOutput)) {
      s.window = true;  // started in a console: its handles are ours already
      return;
    }
    if (IsRedirected(s.savedOutput)) {
      // The output stays where it was sent, but the job still needs a
      // console for the user's Ctrl+C: the starting program's, else one of
      // its own (which takes the standard handles: they are given back).
      if (GetConsoleWindow() == nullptr) {
        s.freeConsole = AttachConsole(ATTACH_PARENT_PROCESS) != FALSE || AllocConsole() != FALSE;
        s.handlesReplaced = s.freeConsole;
        SetStdHandle(STD_INPUT_HANDLE, s.savedInput);
        SetStdHandle(STD_OUTPUT_HANDLE, s.savedOutput);
        SetStdHandle(STD_ERROR_HANDLE, s.savedError);
      }
      return;
    }
    // Started from Explorer (or as a GUI program from a console): the
    // console of the program that started it, else one of its own.
    s.freeConsole = AttachConsole(ATTACH_PARENT_PROCESS) != FALSE || AllocConsole() != FALSE;
    if (!s.freeConsole) return;
  } else {
    // Fails when the process has a console already; that one is used.
    s.freeConsole = AllocConsole() != FALSE;
    if (!s.freeConsole && GetConsoleWindow() == nullptr) return;
  }
  s.screen = OpenConsoleDevice(L"CONOUT$");
  s.keyboard = OpenConsoleDevice(L"CONIN$");
  if (!IsUsableHandle(s.screen)) return;
  s.window = true;
  s.handlesReplaced = true;
  const bool keepRedirected = use == Use::StartingConsole;
  SetStdHandle(STD_OUTPUT_HANDLE, s.screen);
  if (!keepRedirected || !IsRedirected(s.savedError)) SetStdHandle(STD_ERROR_HANDLE, s.screen);
  if (!keepRedirected || !IsRedirected(s.savedInput)) SetStdHandle(STD_INPUT_HANDLE, s.keyboard);
}

JobTerminal::~JobTerminal() {
  State& s = *state_;
  if (s.handlesReplaced) {
    SetStdHandle(STD_INPUT_HANDLE, s.savedInput);
    SetStdHandle(STD_OUTPUT_HANDLE, s.savedOutput);
    SetStdHandle(STD_ERROR_HANDLE, s.savedError);
  }
  if (IsUsableHandle(s.screen)) CloseHandle(s.screen);
  if (IsUsableHandle(s.keyboard)) CloseHandle(s.keyboard);
  // The window closes with it, unless another program shares the console.
  if (s.freeConsole) FreeConsole();
}

bool JobTerminal::ShowsWindow() const {
  return state_->window;
}

void JobTerminal::SetTitle(std::string_view title) {
  if (state_->window) SetConsoleTitleA(std::string(title).c_str());
}

void JobTerminal::ShowResultBox(bool complete) const {
  if (!state_->window) return;
  MessageBoxA(nullptr, complete ? "Complete" : "Error", "PelluxUpdate", MB_OK | MB_SETFOREGROUND);
}

int JobTerminal::AwaitAnyKey(const CancelToken& cancel) const {
  const HANDLE keyboard =
      IsUsableHandle(state_->keyboard) ? state_->keyboard : GetStdHandle(STD_INPUT_HANDLE);
  return state_->window ? ReadAnyConsoleKey(keyboard, cancel) : -1;
}

}  // namespace pellux
