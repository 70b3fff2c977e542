#pragma once

#include <mutex>

#include "base/JobConsole.h"

// The process's own terminal: standard output and standard input.
class TerminalConsole : public JobConsole {
 public:
  void Write(std::string_view text) override;
  // On a terminal the rest of the typed line is consumed with the key, so
  // each prompt waits for its own Enter.
  int ReadKey(const CancelToken& cancel) override;

  static TerminalConsole& Instance();

 private:
  std::mutex writeMutex_;
};
