#pragma once

#include <memory>
#include <string_view>

namespace pellux {

class CancelToken;

// Gives the terminal (TerminalConsole) a console to show a job in, for as
// long as it lives. A Windows program started from Explorer has none; a
// terminal on Linux is always there, and there this does nothing.
class JobTerminal {
 public:
  enum class Use {
    // Console job mode: the console the program was started from, else one
    // of its own. Output redirected to a file or a pipe is kept as it is,
    // and so is redirected input.
    StartingConsole,
    // A job started from the dialog: a console of its own (the process's
    // own one if it already has one), for all three standard handles.
    OwnConsole,
  };

  explicit JobTerminal(Use use);
  ~JobTerminal();
  JobTerminal(const JobTerminal&) = delete;
  JobTerminal& operator=(const JobTerminal&) = delete;

  // True when the job's lines appear in a console window that the user
  // sees, rather than in a file, a pipe or a terminal of a shell.
  bool ShowsWindow() const;
  void SetTitle(std::string_view title);
  // Shows the result in a message box, "Complete" or "Error", and waits
  // until it is dismissed; only when ShowsWindow().
  void ShowResultBox(bool complete) const;
  // Waits for any key in the console window; -1 once cancelled or when
  // there is no window.
  int AwaitAnyKey(const CancelToken& cancel) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace pellux
