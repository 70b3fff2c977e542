#pragma once

#include <string>
#include <string_view>

namespace pellux {

class CancelToken;

// What a job talks to: its lines go out through Write, its prompts read one
// key through ReadKey. Implementations: the terminal, the dialogs' console
// window, and a capturing console in the tests.
class JobConsole {
 public:
  virtual ~JobConsole() = default;
  // Must be safe to call from any thread (reader threads print too).
  virtual void Write(std::string_view text) = 0;
  // Blocks until one key can be read. Returns the character, or -1 at the
  // end of input or once `cancel` is cancelled.
  virtual int ReadKey(const CancelToken& cancel) = 0;
  // Columns of the screen the text lands on, 0 when there is none or its
  // width is not known (a file, a pipe, a window that wraps for itself).
  virtual int Columns() { return 0; }

  // Write of a printf-formatted text.
  void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

// The console that job output goes to: the running job's console, or the
// process's terminal when no job console is active.
JobConsole& ActiveConsole();
// Makes `console` the active one (nullptr: the terminal); returns the previous.
JobConsole* SetActiveConsole(JobConsole* console);

// Output to the active console, for code that is handed no console of its own.
void ConsoleWrite(std::string_view text);
void ConsolePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace pellux
