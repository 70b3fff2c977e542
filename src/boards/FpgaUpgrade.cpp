#include "boards/FpgaUpgrade.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "boards/BlockCrc.h"
#include "boards/BlockFrame.h"
#include "boards/UpdateProtocol.h"
#include "boards/UpgradeModeEntry.h"
#include "serial/LineMessages.h"

namespace pellux {

namespace {
bool ReadImage(const std::string& filePath, std::vector<uint8_t>& image) {
  errno = 0;
  std::ifstream file(filePath, std::ios::binary);
  if (!file) return false;
  image.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

bool Abandon(UpdateProtocol& board) {
  board.Close();
  return false;
}
}  // namespace

bool UpgradeFpga(const std::string& portName, const std::string& filePath) {
  std::vector<uint8_t> image;
  if (!ReadImage(filePath, image)) {
    const int reason = errno;
    ConsoleWrite("FPGA file open failed.");
    ConsolePrintf("\r\nCannot read %s: %s.\r\n", filePath.c_str(),
                  reason != 0 ? std::strerror(reason) : "unreadable");
    return false;
  }
  // With no block to send the board would only see EOT: refuse before the
  // board is reset into upgrade mode at all.
  if (image.empty()) {
    ConsoleWrite("FPGA file is empty.\r\n");
    return false;
  }

  InitCrcTable(kBoardCrcPolynomial);
  ResetBlockNumbers();
  PrintAutomaticEntryPrompt();

  UpdateProtocol board;
  switch (EnterUpgradeMode(board, portName, false)) {
    case UpgradeModeEntry::OpenFailed:
    case UpgradeModeEntry::Cancelled:
    case UpgradeModeEntry::LineLost:
      return false;
    case UpgradeModeEntry::Ready:
      break;
  }

  ConsoleWrite("Transfer Start.\r\n");
  board.WriteByte(kSelectFpga);

  const size_t total = (image.size() + kBlockDataSize - 1) / kBlockDataSize;
  size_t sent = 0;
  BlockFrame frame{};
  // The first block follows the selector at once; every further block waits
  // for the ACK of the one before, and a NAK repeats the last frame.
  AnswerCode code = AnswerCode::Acknowledged;
  for (;;) {
    if (code == AnswerCode::Acknowledged) {
      if (sent == total) break;
      const size_t offset = sent * kBlockDataSize;
      BuildBlockFrame(image.data() + offset, std::min(kBlockDataSize, image.size() - offset),
                      frame);
      if (!board.Write(frame.data(), frame.size())) {
        ConsoleWrite("\r\nComport write failed.\r\n");
        return Abandon(board);
      }
      ++sent;
      ConsolePrintf("%d/%d\r", static_cast<int>(sent), static_cast<int>(total));
    } else if (code == AnswerCode::Refused) {
      if (!board.Write(frame.data(), frame.size())) {
        ConsoleWrite("\r\nComport write failed.\r\n");
        return Abandon(board);
      }
    }
    code = board.WaitForAnswer(JobCancellation(), std::chrono::seconds(kAnswerTimeoutSeconds));
    if (code != AnswerCode::NoAnswer) continue;
    if (JobCancelled()) return Abandon(board);
    // A board that went quiet or a line that went away ends the job here.
    ConsoleWrite("\r\n");
    ConsoleWrite(board.LineLost()
                     ? LineHungUpMessage(board.PortDescription())
                     : NoAnswerMessage("the control board", board.PortDescription(),
                                       "its acknowledgement of FPGA block " + std::to_string(sent) +
                                           "/" + std::to_string(total)));
    return Abandon(board);
  }

  board.WriteByte(kEot);
  ConsoleWrite("\r\nBoard FPGA Upgrade process success.\r\n");
  board.Close();
  return true;
}

}  // namespace pellux
