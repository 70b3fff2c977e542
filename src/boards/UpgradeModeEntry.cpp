#include "boards/UpgradeModeEntry.h"

#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "boards/BoardLine.h"

void PrintAutomaticEntryPrompt() {
  ConsoleWrite("\r\n");
  ConsoleWrite(
      "If upgrade mode did not start automatically,\r\nPlease turn off and turn on [I/O Switch] "
      "or [Board Power Switch].\r\n");
  ConsoleWrite("Press Ctrl+C for stop download.\r\n");
  ConsoleWrite("\r\n");
}

UpgradeModeEntry EnterUpgradeMode(UpdateProtocol& board, const std::string& portName,
                                  bool announceSteps) {
  board.Configure(BoardLineSettings(portName));
  if (!board.Open()) {
    ConsoleWrite("Comport open failed 19200.\n");
    return UpgradeModeEntry::OpenFailed;
  }

  if (announceSteps) ConsoleWrite("-Reset control board.\r\n");
  board.WriteByte(kBoardReset);
  // Lets the reset byte leave the line before the rate changes.
  if (!CancellableSleep(1)) {
    board.Close();
    return UpgradeModeEntry::Cancelled;
  }
  if (announceSteps) ConsoleWrite("-Change baudrate\r\n");
  // A failed change leaves the port closed; the board then never answers and
  // the wait below ends only on Ctrl+C, as with a board that stays silent.
  board.SetBaudRate(115200);

  if (!board.WaitUntilStarted(JobCancellation())) {
    board.Close();
    return UpgradeModeEntry::Cancelled;
  }
  return UpgradeModeEntry::Ready;
}
