// Opens the extend setting dialogs through RunExtendSetting, as the main
// dialog's button does, and drives them from a second thread as a user
// would: finds the dialog and its message boxes among the top-level windows,
// types into the value boxes (WM_CHAR through the numeric filter) and
// presses the buttons (BM_CLICK, posted: a click that opens a modal box
// would block a sender). Prints what Save sent; the calling script checks
// the virtual board's state against it.
//
//   extend_setting_driver NR2-PORT R1PS-PORT        the checks
//   extend_setting_driver --show NR2|R1PS PORT DONE  opens the dialog, loads,
//       prints "shown x y width height" of its client area and waits for
//       the file DONE
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "boards/ui/ExtendSetting.h"

namespace {

using namespace std::chrono_literals;
constexpr auto kPatience = 60s;
constexpr const wchar_t* kMessageCaption = L"PelluxUpdateV3";

std::atomic<int> failures{0};

void Fail(const std::string& what) {
  std::printf("FAILED: %s\n", what.c_str());
  std::fflush(stdout);
  ++failures;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// A visible dialog of this process with the title `title`.
HWND FindDialog(const std::wstring& title) {
  struct Search {
    std::wstring title;
    HWND found = nullptr;
  } search{title};
  EnumWindows(
      [](HWND window, LPARAM parameter) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(parameter);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        wchar_t className[16] = {};
        GetClassNameW(window, className, 16);
        if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
            std::wstring(className) == L"#32770" && TextOf(window) == s.title) {
          s.found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Polls for a window: nothing announces a dialog that another thread opens.
HWND WaitForDialog(const std::wstring& title) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (std::chrono::steady_clock::now() < deadline) {
    if (HWND window = FindDialog(title)) return window;
    std::this_thread::sleep_for(20ms);
  }
  Fail("no window \"" + Narrow(title) + "\" appeared");
  return nullptr;
}

bool WaitGone(HWND window) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (IsWindow(window)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

void Click(HWND dialog, int id) {
  PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Waits for the message box, checks its text and presses OK.
void ExpectMessage(const std::string& expected) {
  HWND box = WaitForDialog(kMessageCaption);
  if (box == nullptr) {
    Fail("no message box \"" + expected + "\"");
    return;
  }
  // The message box keeps its text in the static control 0xFFFF.
  wchar_t text[256] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 256);
  if (Narrow(text) != expected) Fail("message \"" + Narrow(text) + "\", not \"" + expected + "\"");
  Click(box, IDOK);
  if (!WaitGone(box)) Fail("the message box \"" + expected + "\" did not close");
}

std::string BoxText(HWND dialog, int id) {
  return Narrow(TextOf(GetDlgItem(dialog, id)));
}

// Characters as the keyboard types them, each judged by the box's filter:
// over the whole text selected, or at the end of the text.
void Type(HWND dialog, int id, const std::wstring& keys, bool overAll) {
  HWND edit = GetDlgItem(dialog, id);
  const WPARAM end = static_cast<WPARAM>(GetWindowTextLengthW(edit));
  SendMessageW(edit, EM_SETSEL, overAll ? 0 : end, static_cast<LPARAM>(end));
  for (const wchar_t key : keys) SendMessageW(edit, WM_CHAR, key, 1);
}

void ExpectBox(HWND dialog, int id, const std::string& expected, const char* what) {
  const std::string text = BoxText(dialog, id);
  if (text != expected)
    Fail(std::string(what) + ": box " + std::to_string(id) + " holds \"" + text + "\", not \"" +
         expected + "\"");
}

constexpr int kLoad = 1022;
constexpr int kSave = 1020;
constexpr int kClose = 2;
const char* const kSaved = "Save complete.\r\nCheck the parameters was changed.";

// Runs `user` on a thread of its own while this thread opens the dialog.
void Scenario(const char* name, const std::function<void()>& open,
              const std::function<void()>& user) {
  std::printf("== %s\n", name);
  std::fflush(stdout);
  const int before = failures;
  std::thread driver(user);
  open();
  driver.join();
  std::printf("%s: %s\n", name, failures == before ? "passed" : "FAILED");
  std::fflush(stdout);
}

void Nr2(const std::string& port) {
  Scenario(
      "NR2", [&] { pellux::RunExtendSetting("New R2 Bender", "NR2", port); },
      [] {
        HWND dialog = WaitForDialog(L"NR2 Extend Setting");
        if (dialog == nullptr) return;
        Click(dialog, kSave);
        ExpectMessage("Load button click first.");
        Click(dialog, kLoad);
        ExpectMessage("Load complete.");
        ExpectBox(dialog, 1011, "100.5", "after Load");
        ExpectBox(dialog, 1019, "900.5", "after Load");
        ExpectBox(dialog, 1021, "120.000000", "after Load");

        Type(dialog, 1011, L"500.5", true);
        ExpectBox(dialog, 1011, "500.5", "typed");
        Type(dialog, 1011, L".5", true);  // over the whole text
        ExpectBox(dialog, 1011, ".5", "typed over a selection");
        Type(dialog, 1011, L"a-.\x16\x03", false);  // letter, late minus, second point, paste, copy
        ExpectBox(dialog, 1011, ".5", "refused keys");
        Type(dialog, 1012, L"-12.2.5", true);
        ExpectBox(dialog, 1012, "-12.25", "typed");
        Type(dialog, 1019, L"\b\b\b", false);  // backspace at the end: "900.5" -> "90"
        ExpectBox(dialog, 1019, "90", "backspace");
        Type(dialog, 1021, L"85.5", true);

        Click(dialog, kSave);
        ExpectMessage(kSaved);
        Click(dialog, kClose);
        if (!WaitGone(dialog)) Fail("Close did not close the dialog");
      });
  std::printf(
      "NR2 sent: 0.500000 -12.250000 300.500000 400.500000 500.500000 600.500000 "
      "700.500000 800.500000 90.000000; 85.500000\n");
}

void R1ps(const std::string& port) {
  Scenario(
      "R1PS", [&] { pellux::RunExtendSetting("R1 Bender with Puncher Selector", "R1PS", port); },
      [] {
        HWND dialog = WaitForDialog(L"R1 with Punch Select Extend Setting");
        if (dialog == nullptr) return;
        if (GetDlgItem(dialog, 1017) != nullptr) Fail("the R1PS dialog has a seventh box");
        Click(dialog, kSave);
        ExpectMessage("Load button click first.");
        Click(dialog, kLoad);
        ExpectMessage("Load complete.");
        ExpectBox(dialog, 1016, "600.5", "after Load");
        Type(dialog, 1016, L"-66", true);
        Type(dialog, 1011, L"7", true);
        Click(dialog, kSave);
        ExpectMessage(kSaved);
        // Esc, as the keyboard gives it to the dialog, closes it too.
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        if (!WaitGone(dialog)) Fail("Esc did not close the dialog");
      });
  std::printf("R1PS sent: 7.000000 200.500000 300.500000 400.500000 500.500000 -66.000000\n");
}

void NoFunction(const std::string& port) {
  Scenario(
      "no extend setting", [&] { pellux::RunExtendSetting("Plain Rim", "PLAINRIM", port); },
      [] { ExpectMessage("This machine has no extend setting function."); });
  // The key NONE does nothing at all: RunExtendSetting returns at once.
  pellux::RunExtendSetting("New R2 Bender", "NONE", port);
}

// A port with no board behind it: Load waits its time and fails, and Save
// stays refused.
void NoBoard() {
  Scenario(
      "no board", [] { pellux::RunExtendSetting("New R2 Bender", "NR2", "COM29"); },
      [] {
        HWND dialog = WaitForDialog(L"NR2 Extend Setting");
        if (dialog == nullptr) return;
        Type(dialog, 1011, L"12", true);
        Click(dialog, kLoad);
        ExpectMessage("Load Fail");
        ExpectBox(dialog, 1011, "12", "after a failed Load");
        Click(dialog, kSave);
        ExpectMessage("Load button click first.");
        Click(dialog, kClose);
        if (!WaitGone(dialog)) Fail("Close did not close the dialog");
      });
}

// For the screenshots: the dialog after a Load, until `done` exists.
int Show(const std::string& model, const std::string& port, const std::string& done) {
  const bool nr2 = model == "NR2";
  std::thread user([&] {
    HWND dialog =
        WaitForDialog(nr2 ? L"NR2 Extend Setting" : L"R1 with Punch Select Extend Setting");
    if (dialog == nullptr) return;
    Click(dialog, kLoad);
    ExpectMessage("Load complete.");
    // The client area on the screen: without a window manager the caption stays blank.
    RECT rect{};
    GetClientRect(dialog, &rect);
    POINT origin{0, 0};
    ClientToScreen(dialog, &origin);
    std::printf("shown %ld %ld %ld %ld\n", origin.x, origin.y, rect.right, rect.bottom);
    std::fflush(stdout);
    while (!std::filesystem::exists(done)) std::this_thread::sleep_for(50ms);
    Click(dialog, kClose);
  });
  if (nr2) {
    pellux::RunExtendSetting("New R2 Bender", "NR2", port);
  } else {
    pellux::RunExtendSetting("R1 Bender with Puncher Selector", "R1PS", port);
  }
  user.join();
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--show") return Show(argv[2], argv[3], argv[4]);
  if (argc != 3) {
    std::fprintf(stderr, "usage: extend_setting_driver NR2-PORT R1PS-PORT\n");
    return 2;
  }
  NoFunction(argv[1]);
  NoBoard();
  Nr2(argv[1]);
  R1ps(argv[2]);
  std::printf("%s\n", failures == 0 ? "all passed" : "FAILED");
  return failures == 0 ? 0 : 1;
}
