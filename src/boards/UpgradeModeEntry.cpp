#include "boards/UpgradeModeEntry.h"

#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "boards/BoardLine.h"
#include "serial/LineMessages.h"

namespace pellux {

namespace {
// Long enough for a board that restarts; short enough to be the next thing
// a waiting user reads.
constexpr std::chrono::seconds kReminderAfter{5};

UpgradeModeEntry EndWait(UpdateProtocol& board) {
  const bool lost = board.LineLost() && !JobCancelled();
  if (lost) ConsoleWrite(LineHungUpMessage(board.PortDescription()));
  board.Close();
  return lost ? UpgradeModeEntry::LineLost : UpgradeModeEntry::Cancelled;
}
}  // namespace

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
    ConsoleWrite(board.OpenFailure() + "\r\n");
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

  if (board.WaitUntilStarted(JobCancellation(), kReminderAfter)) return UpgradeModeEntry::Ready;
  if (JobCancelled() || board.LineLost()) return EndWait(board);
  std::string line = "No upgrade mode announcement ('C') from the control board on " +
                     board.PortDescription() +
                     " yet: turn the board's power off and on, or press Ctrl+C to stop.";
  if (const size_t garbled = board.BytesBeforeStart(); garbled > 0) {
    line += " (" + std::to_string(garbled) +
            " bytes arrived, none of them 'C': line noise, or the board runs at another baud "
            "rate.)";
  }
  ConsoleWrite(line + "\r\n");
  if (board.WaitUntilStarted(JobCancellation())) return UpgradeModeEntry::Ready;
  return EndWait(board);
}

}  // namespace pellux
