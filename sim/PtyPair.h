#pragma once

#include <termios.h>

#include <string>

// A pseudo-terminal pair: the program under test opens the slave path as it
// would open a USB serial adapter; a virtual device reads and writes the
// master side. The pair keeps a slave descriptor of its own open, so the
// master side never sees a hang-up while the program reopens the port.
class PtyPair {
 public:
  PtyPair();  // throws std::runtime_error when no pseudo-terminal can be had
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }

  // The line settings the program set on its side.
  termios LineSettings() const;
  // The baud rate the program set (as a number, 0 when unknown).
  int LineBaudRate() const;

  // Closes the master side: the program's next read or write fails.
  void HangUp();

 private:
  int master_ = -1;
  int slaveKeeper_ = -1;
  std::string slavePath_;
};
