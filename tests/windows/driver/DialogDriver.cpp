// Drives the Windows dialogs from outside, as a user would, for the Windows
// stage: finds top-level windows by title, reads titles, combo box items and
// message box texts, selects entries and presses buttons. Buttons are pressed
// with PostMessage: a button that opens a modal window would block a
// SendMessage until that window closes.
//
//   DialogDriver wait TITLE SECONDS        prints the title of the window whose title holds TITLE
//   DialogDriver gone TITLE SECONDS        waits until no window's title holds TITLE
//   DialogDriver combo TITLE ID            prints the items of a combo box, '*' before the selected
//   DialogDriver select TITLE ID INDEX     selects an item as the user does (CBN_SELCHANGE)
//   DialogDriver click TITLE ID            presses a button
//   DialogDriver text TITLE ID             prints a control's text; nothing for a hidden one
//   DialogDriver dblclick TITLE            double-clicks the window's surface
//   DialogDriver checked TITLE ID          prints 1 when a radio button is checked
//   DialogDriver height TITLE              prints the window's height in pixels
//   DialogDriver rect TITLE                prints the window's WIDTHxHEIGHT+X+Y on the screen
//   DialogDriver message SECONDS           prints a message box's text and presses its OK
//   DialogDriver release TITLE SECONDS     presses Enter in the console of the window's program
//                                          until the window answers again (a job's result held)
//   DialogDriver open-file PATH SECONDS    prints the open-file dialog's filters, opens PATH
//   DialogDriver fbwin SECONDS             a window titled "FBWin test": prints the command it gets
//   DialogDriver list                      prints every visible top-level window
//
// With DIALOG_DRIVER_DESKTOP set, it looks at the windows of that desktop
// (the virtual desktop of `wine explorer /desktop=NAME,...`).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kMessageBoxText = 0xFFFF;
constexpr int kFileNameCombo = 0x47C;  // cmb13
constexpr int kFileNameEdit = 0x480;   // edt1
constexpr int kFilterCombo = 0x470;    // cmb1
constexpr UINT kAppExitCommand = 57665;

std::string TitleOf(HWND window) {
  char title[512] = {};
  GetWindowTextA(window, title, sizeof(title));
  return title;
}

std::string ClassOf(HWND window) {
  char name[128] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(
      [](HWND window, LPARAM found) -> BOOL {
        if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

HWND FindByTitle(const std::string& part) {
  for (HWND window : TopLevelWindows()) {
    if (TitleOf(window).find(part) != std::string::npos) return window;
  }
  return nullptr;
}

HWND FindMessageBox() {
  for (HWND window : TopLevelWindows()) {
    if (ClassOf(window) == "#32770" && GetDlgItem(window, kMessageBoxText) != nullptr) {
      return window;
    }
  }
  return nullptr;
}

template <typename Find>
auto WaitFor(Find find, double seconds) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  for (;;) {
    if (auto found = find()) return found;
    if (GetTickCount64() >= end) return decltype(find())(nullptr);
    Sleep(100);
  }
}

HWND Required(const std::string& title) {
  HWND window = FindByTitle(title);
  if (window == nullptr) {
    std::fprintf(stderr, "DialogDriver: no window titled \"%s\"\n", title.c_str());
    std::exit(1);
  }
  return window;
}

HWND RequiredItem(HWND window, int id) {
  HWND item = GetDlgItem(window, id);
  if (item == nullptr) {
    std::fprintf(stderr, "DialogDriver: \"%s\" has no control %d\n", TitleOf(window).c_str(), id);
    std::exit(1);
  }
  return item;
}

std::string Utf8(const std::wstring& text) {
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length > 0 ? length : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, narrow.data(), length, nullptr, nullptr);
  narrow.resize(std::char_traits<char>::length(narrow.c_str()));
  return narrow;
}

void PrintComboItems(HWND box) {
  const LRESULT count = SendMessageW(box, CB_GETCOUNT, 0, 0);
  const LRESULT selected = SendMessageW(box, CB_GETCURSEL, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(box, CB_GETLBTEXTLEN, i, 0);
    if (length < 0) continue;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    std::printf("%s%s\n", i == selected ? "*" : "", Utf8(text).c_str());
  }
}

int FbWin(double seconds) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == WM_COMMAND) {
      std::printf("command %u\n", static_cast<unsigned>(wParam));
      std::fflush(stdout);
      if (wParam == kAppExitCommand) PostQuitMessage(0);
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  };
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "FBWinTestWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowA("FBWinTestWindow", "FBWin test", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                              nullptr, nullptr, windowClass.hInstance, nullptr);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  SetTimer(window, 1, static_cast<UINT>(seconds * 1000), nullptr);
  std::printf("ready\n");
  std::fflush(stdout);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER) {
      std::fprintf(stderr, "DialogDriver: no exit command within %g s\n", seconds);
      return 1;
    }
    DispatchMessageA(&message);
  }
  return 0;
}

int OpenFile(const std::string& path, double seconds) {
  HWND dialog = WaitFor(
      [] {
        for (HWND window : TopLevelWindows()) {
          if (ClassOf(window) == "#32770" && GetDlgItem(window, kFilterCombo) != nullptr) {
            return window;
          }
        }
        return HWND(nullptr);
      },
      seconds);
  if (dialog == nullptr) {
    std::fprintf(stderr, "DialogDriver: no open-file dialog within %g s\n", seconds);
    return 1;
  }
  PrintComboItems(GetDlgItem(dialog, kFilterCombo));
  HWND name = GetDlgItem(dialog, kFileNameCombo);
  if (name == nullptr) name = GetDlgItem(dialog, kFileNameEdit);
  if (name == nullptr) {
    std::fprintf(stderr, "DialogDriver: the open-file dialog has no file name box\n");
    return 1;
  }
  SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  return 0;
}

// A window that answers is back in its message loop: the job it ran is over.
bool Answers(HWND window) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 200, &result) != 0;
}

int Release(HWND window, double seconds) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  while (!Answers(window)) {
    if (GetTickCount64() >= end) {
      std::fprintf(stderr, "DialogDriver: \"%s\" does not answer\n", TitleOf(window).c_str());
      return 1;
    }
    FreeConsole();
    if (AttachConsole(processId)) {
      HANDLE input =
          CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
      INPUT_RECORD keys[2] = {};
      for (int i = 0; i < 2; ++i) {
        keys[i].EventType = KEY_EVENT;
        keys[i].Event.KeyEvent.bKeyDown = i == 0;
        keys[i].Event.KeyEvent.wRepeatCount = 1;
        keys[i].Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
        keys[i].Event.KeyEvent.uChar.UnicodeChar = L'\r';
      }
      DWORD written = 0;
      if (input != INVALID_HANDLE_VALUE) {
        WriteConsoleInputW(input, keys, 2, &written);
        CloseHandle(input);
      }
      FreeConsole();
    }
    Sleep(300);
  }
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: DialogDriver wait|gone|combo|select|click|checked|height|message|"
               "open-file|fbwin|list ...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  if (const char* desktop = std::getenv("DIALOG_DRIVER_DESKTOP")) {
    // The desktop appears with the first window of the program started on it.
    HDESK handle = WaitFor([&] { return OpenDesktopA(desktop, 0, FALSE, GENERIC_ALL); }, 60);
    if (handle == nullptr || !SetThreadDesktop(handle)) {
      std::fprintf(stderr, "DialogDriver: cannot use the desktop %s\n", desktop);
      return 1;
    }
  }
  const std::string command = argv[1];
  auto arg = [&](int i) -> std::string {
    if (i >= argc) std::exit(Usage());
    return argv[i];
  };
  if (command == "wait") {
    const std::string title = arg(2);
    HWND window = WaitFor([&] { return FindByTitle(title); }, std::atof(arg(3).c_str()));
    if (window == nullptr) {
      std::fprintf(stderr, "DialogDriver: no window titled \"%s\" appeared\n", title.c_str());
      return 1;
    }
    std::printf("%s\n", TitleOf(window).c_str());
    return 0;
  }
  if (command == "gone") {
    const std::string title = arg(2);
    HWND left = WaitFor([&] { return FindByTitle(title) ? HWND(nullptr) : GetDesktopWindow(); },
                        std::atof(arg(3).c_str()));
    return left != nullptr ? 0 : 1;
  }
  if (command == "combo") {
    PrintComboItems(RequiredItem(Required(arg(2)), std::atoi(arg(3).c_str())));
    return 0;
  }
  if (command == "select") {
    HWND window = Required(arg(2));
    const int id = std::atoi(arg(3).c_str());
    HWND box = RequiredItem(window, id);
    SendMessageA(box, CB_SETCURSEL, std::atoi(arg(4).c_str()), 0);
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
    return 0;
  }
  if (command == "click") {
    PostMessageA(RequiredItem(Required(arg(2)), std::atoi(arg(3).c_str())), BM_CLICK, 0, 0);
    return 0;
  }
  if (command == "text") {
    HWND item = RequiredItem(Required(arg(2)), std::atoi(arg(3).c_str()));
    if (!IsWindowVisible(item)) return 0;
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    GetWindowTextW(item, text.data(), static_cast<int>(text.size()));
    std::printf("%s\n", Utf8(text).c_str());
    return 0;
  }
  if (command == "dblclick") {
    PostMessageA(Required(arg(2)), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(4, 4));
    return 0;
  }
  if (command == "checked") {
    const LRESULT state =
        SendMessageA(RequiredItem(Required(arg(2)), std::atoi(arg(3).c_str())), BM_GETCHECK, 0, 0);
    std::printf("%d\n", state == BST_CHECKED ? 1 : 0);
    return 0;
  }
  if (command == "height") {
    RECT rect;
    GetWindowRect(Required(arg(2)), &rect);
    std::printf("%ld\n", rect.bottom - rect.top);
    return 0;
  }
  if (command == "rect") {
    RECT rect;
    GetWindowRect(Required(arg(2)), &rect);
    std::printf("%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left,
                rect.top);
    return 0;
  }
  if (command == "message") {
    HWND box = WaitFor(FindMessageBox, std::atof(arg(2).c_str()));
    if (box == nullptr) {
      std::fprintf(stderr, "DialogDriver: no message box appeared\n");
      return 1;
    }
    char text[1024] = {};
    GetDlgItemTextA(box, kMessageBoxText, text, sizeof(text));
    std::printf("%s\n", text);
    std::fflush(stdout);
    HWND ok = GetDlgItem(box, IDOK);
    if (ok == nullptr) ok = GetDlgItem(box, IDCANCEL);
    PostMessageA(ok, BM_CLICK, 0, 0);
    return 0;
  }
  if (command == "release") return Release(Required(arg(2)), std::atof(arg(3).c_str()));
  if (command == "open-file") return OpenFile(arg(2), std::atof(arg(3).c_str()));
  if (command == "fbwin") return FbWin(std::atof(arg(2).c_str()));
  if (command == "list") {
    for (HWND window : TopLevelWindows()) {
      std::printf("%s \"%s\"\n", ClassOf(window).c_str(), TitleOf(window).c_str());
    }
    return 0;
  }
  return Usage();
}
