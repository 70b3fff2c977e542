// The entry point of the Unicode Windows program: the arguments arrive as
// UTF-16 and go on in the ANSI code page, which the file functions of the
// core read narrow paths in.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "base/ProgramLocation.h"
#include "main/PelluxUpdateMain.h"

namespace pellux {
namespace {
// As the narrow command line gives it: characters without a place in the
// code page read as their nearest match or '?'.
std::string NarrowArgument(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), length, nullptr, nullptr);
  narrow.pop_back();
  return narrow;
}

// A GUI program starts without a console. A console job needs one for its
// lines, its key prompts and Ctrl+C: the one it was started from, else a
// console of its own. Standard streams already redirected stay as they are.
void EnsureJobConsole(int argc, wchar_t** argv) {
  const bool byOption = argc > 2 && std::wstring(argv[1]) == L"--job";
  if (!AnalyseProgramName(ProgramFileName(nullptr)).consoleJob && !byOption) return;
  if (GetConsoleWindow() != nullptr) return;
  const bool outputRedirected = GetStdHandle(STD_OUTPUT_HANDLE) != nullptr;
  const bool inputRedirected = GetStdHandle(STD_INPUT_HANDLE) != nullptr;
  if (!AttachConsole(ATTACH_PARENT_PROCESS) && !AllocConsole()) return;
  if (!outputRedirected) {
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
  }
  if (!inputRedirected) std::freopen("CONIN$", "r", stdin);
}
}  // namespace
}  // namespace pellux

int wmain(int argc, wchar_t** argv) {
  pellux::EnsureJobConsole(argc, argv);
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(pellux::NarrowArgument(argv[i]));
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return pellux::PelluxUpdateMain(argc, pointers.data());
}
