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

UpgradeModeEntry EndWait(UpdateProtocol& board, JobConsole& console) {
  const bool lost = board.LineLost() && !board.Cancellation().IsCancelled();
  if (lost) console.Write(LineHungUpMessage(board.PortDescription()));
  board.Close();
  return lost ? UpgradeModeEntry::LineLost : UpgradeModeEntry::Cancelled;
}
}  // namespace

void PrintAutomaticEntryPrompt(JobConsole& console) {
  console.Write("\r\n");
  console.Write(
      "If upgrade mode did not start automatically,\r\nPlease turn off and turn on [I/O Switch] "
      "or [Board Power Switch].\r\n");
  console.Write("Press Ctrl+C for stop download.\r\n");
  console.Write("\r\n");
}

UpgradeModeEntry EnterUpgradeMode(UpdateProtocol& board, const std::string& portName,
                                  bool announceSteps, JobConsole& console) {
  const CancelToken& cancel = board.Cancellation();
  board.Configure(BoardLineSettings(portName));
  if (!board.Open()) {
    console.Write("Comport open failed 19200.\n");
    console.Write(board.OpenFailure() + "\r\n");
    return UpgradeModeEntry::OpenFailed;
  }

  if (announceSteps) console.Write("-Reset control board.\r\n");
  board.WriteByte(kBoardReset);
  // Lets the reset byte leave the line before the rate changes.
  if (!cancel.SleepFor(std::chrono::milliseconds(1))) {
    board.Close();
    return UpgradeModeEntry::Cancelled;
  }
  if (announceSteps) console.Write("-Change baudrate\r\n");
  // A failed change leaves the port closed; the board then never answers and
  // the wait below ends only on Ctrl+C, as with a board that stays silent.
  board.SetBaudRate(115200);

  if (board.WaitUntilStarted(kReminderAfter)) return UpgradeModeEntry::Ready;
  if (cancel.IsCancelled() || board.LineLost()) return EndWait(board, console);
  std::string line = "No upgrade mode announcement ('C') from the control board on " +
                     board.PortDescription() +
                     " yet: turn the board's power off and on, or press Ctrl+C to stop.";
  if (const size_t garbled = board.BytesBeforeStart(); garbled > 0) {
    line += " (" + std::to_string(garbled) +
            " bytes arrived, none of them 'C': line noise, or the board runs at another baud "
            "rate.)";
  }
  console.Write(line + "\r\n");
  if (board.WaitUntilStarted()) return UpgradeModeEntry::Ready;
  return EndWait(board, console);
}

}  // namespace pellux
