#pragma once

#include <mutex>

#include "base/JobConsole.h"

namespace pellux {

// The process's own terminal: standard output and standard input. The
// backend file of each platform implements this header.
class TerminalConsole : public JobConsole {
 public:
  void Write(std::string_view text) override;
  // On a terminal the rest of the typed line is consumed with the key, so
  // each prompt waits for its own Enter.
  int ReadKey(const CancelToken& cancel) override;
  // The terminal's (or Windows console's) width when the output goes to one.
  int Columns() override;

  static TerminalConsole& Instance();

 private:
  std::mutex writeMutex_;
};

// From here until RestoreInterruptHandling, Ctrl+C (SIGINT; the console
// control handler on Win32), a terminal that goes away (SIGHUP) and a
// request to stop (SIGTERM) cancel JobCancellation(). Not nested: one call of each per job.
void CancelJobOnInterrupt();
void RestoreInterruptHandling();

}  // namespace pellux
