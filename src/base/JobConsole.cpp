#include "base/JobConsole.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "base/Cancellation.h"
#include "base/TerminalConsole.h"

namespace {
std::atomic<JobConsole*> activeConsole{nullptr};

std::string VFormat(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (needed <= 0) return {};
  std::string text(static_cast<size_t>(needed), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}
}  // namespace

JobConsole& ActiveConsole() {
  JobConsole* console = activeConsole.load(std::memory_order_acquire);
  return console ? *console : TerminalConsole::Instance();
}

JobConsole* SetActiveConsole(JobConsole* console) {
  return activeConsole.exchange(console, std::memory_order_acq_rel);
}

void ConsoleWrite(std::string_view text) {
  ActiveConsole().Write(text);
}

void ConsolePrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = VFormat(format, args);
  va_end(args);
  ConsoleWrite(text);
}

int ConsoleReadKey() {
  return ActiveConsole().ReadKey(JobCancellation());
}

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormat(format, args);
  va_end(args);
  return text;
}
