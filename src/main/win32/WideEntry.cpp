// The entry point of the Unicode Windows program: the arguments arrive as
// UTF-16 and go on in the ANSI code page, which the file functions of the
// core read narrow paths in.
#include <windows.h>

#include <string>
#include <vector>

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
}  // namespace
}  // namespace pellux

int wmain(int argc, wchar_t** argv) {
  // A console job finds or makes its console itself (RunConsoleJobMode).
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(pellux::NarrowArgument(argv[i]));
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return pellux::PelluxUpdateMain(argc, pointers.data());
}
