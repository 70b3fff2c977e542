// Test helper for the Windows stage, a user at the screen in two gestures:
//   MessageBoxWatch box [SECONDS]
//     waits for a message box (a top-level window of class #32770) of any
//     program, prints "caption: text" and presses its OK button;
//   MessageBoxWatch enter PROGRAM [SECONDS]
//     waits until the running program PROGRAM (its .exe file name) has a
//     console and presses Enter in it (a key event written into its input);
//   MessageBoxWatch ctrl-c PROGRAM [SECONDS]
//     the same, then presses Ctrl+C in that console.
// Status 0 when done, 1 when nothing was seen within SECONDS (default 120).
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
BOOL CALLBACK LookAt(HWND window, LPARAM parameter) {
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  if (std::strcmp(className, "#32770") != 0 || GetDlgItem(window, 0xFFFF) == nullptr ||
      !IsWindowVisible(window)) {
    return TRUE;
  }
  *reinterpret_cast<HWND*>(parameter) = window;
  return FALSE;
}

HWND WaitForBox(int seconds) {
  for (int tenths = 0; tenths < seconds * 10; ++tenths) {
    HWND found = nullptr;
    EnumWindows(LookAt, reinterpret_cast<LPARAM>(&found));
    if (found != nullptr) return found;
    Sleep(100);
  }
  return nullptr;
}

DWORD FindProcess(const char* program) {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  DWORD found = 0;
  for (BOOL more = Process32First(snapshot, &entry); more && found == 0;
       more = Process32Next(snapshot, &entry)) {
    if (lstrcmpiA(entry.szExeFile, program) == 0) found = entry.th32ProcessID;
  }
  CloseHandle(snapshot);
  return found;
}

int PressOk(HWND box) {
  char caption[256] = {};
  char text[1024] = {};
  GetWindowTextA(box, caption, sizeof caption);
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  std::printf("%s: %s\n", caption, text);
  std::fflush(stdout);
  // Posted: a sent click would wait inside the box's own modal loop.
  const HWND ok = GetDlgItem(box, IDOK);
  if (ok != nullptr) return PostMessageA(ok, BM_CLICK, 0, 0) ? 0 : 1;
  return PostMessageA(box, WM_COMMAND, IDOK, 0) ? 0 : 1;
}

// Attaches to the program's console once it has one.
bool AttachToConsoleOf(const char* program, int seconds) {
  FreeConsole();
  for (int tenths = 0; tenths < seconds * 10; ++tenths) {
    const DWORD process = FindProcess(program);
    if (process != 0 && AttachConsole(process)) return true;
    Sleep(100);
  }
  return false;
}

// A key typed into the console: a key-down and a key-up record.
bool TypeKey(WORD virtualKey, wchar_t character, DWORD controlKeys) {
  const HANDLE input =
      CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  INPUT_RECORD records[2] = {};
  for (int i = 0; i < 2; ++i) {
    records[i].EventType = KEY_EVENT;
    records[i].Event.KeyEvent.bKeyDown = i == 0;
    records[i].Event.KeyEvent.wRepeatCount = 1;
    records[i].Event.KeyEvent.wVirtualKeyCode = virtualKey;
    records[i].Event.KeyEvent.uChar.UnicodeChar = character;
    records[i].Event.KeyEvent.dwControlKeyState = controlKeys;
  }
  DWORD written = 0;
  const bool ok = WriteConsoleInputW(input, records, 2, &written) && written == 2;
  CloseHandle(input);
  return ok;
}
}  // namespace

int main(int argc, char** argv) {
  const std::string gesture = argc > 1 ? argv[1] : "";
  if (gesture == "box") {
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 120;
    if (const HWND box = WaitForBox(seconds)) return PressOk(box);
    std::fprintf(stderr, "MessageBoxWatch: no message box within %d s\n", seconds);
    return 1;
  }
  if ((gesture == "enter" || gesture == "ctrl-c") && argc > 2) {
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 120;
    if (AttachToConsoleOf(argv[2], seconds)) {
      if (gesture == "enter") return TypeKey(VK_RETURN, L'\r', 0) ? 0 : 1;
      // The console turns it into Ctrl+C for every program on it; this one
      // lets it pass.
      SetConsoleCtrlHandler(nullptr, TRUE);
      return TypeKey('C', 3, LEFT_CTRL_PRESSED) ? 0 : 1;
    }
    std::fprintf(stderr, "MessageBoxWatch: %s had no console within %d s\n", argv[2], seconds);
    return 1;
  }
  std::fprintf(stderr, "usage: MessageBoxWatch box [SECONDS] | enter|ctrl-c PROGRAM [SECONDS]\n");
  return 2;
}
