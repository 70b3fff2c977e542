#pragma once

#include <string>

#include "boards/UpdateProtocol.h"

namespace pellux {

class JobConsole;

enum class UpgradeModeEntry {
  Ready,       // the board sent 'C' at 115200 bit/s
  OpenFailed,  // "Comport open failed 19200.\n" has been printed
  Cancelled,   // the board's token was cancelled while waiting; the port is closed
  LineLost,    // the line hung up while waiting (said); the port is closed
};

// The shared entry into the board's upgrade mode: opens `portName` at 19200
// bit/s, sends the reset byte 0x0E, switches to 115200 bit/s and sleeps until
// the board announces itself with 'C'. `announceSteps` prints the two step
// lines of the firmware path. The wait has no end (the prompt asks the user
// to cycle the board's power); after a few seconds one line says what is
// awaited on which port. The waits end once the board's token is cancelled;
// the lines go to `console`.
UpgradeModeEntry EnterUpgradeMode(UpdateProtocol& board, const std::string& portName,
                                  bool announceSteps, JobConsole& console);

// The prompt shown before an automatic entry.
void PrintAutomaticEntryPrompt(JobConsole& console);

}  // namespace pellux
