#include "base/JobConsole.h"

#include <atomic>
#include <cstdarg>

#include "base/FormatText.h"
#include "base/TerminalConsole.h"

namespace pellux {

namespace {
std::atomic<JobConsole*> activeConsole{nullptr};
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
  const std::string text = FormatTextV(format, args);
  va_end(args);
  ConsoleWrite(text);
}

void JobConsole::Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = FormatTextV(format, args);
  va_end(args);
  Write(text);
}

}  // namespace pellux
