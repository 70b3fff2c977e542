#include "boards/FpgaUpgrade.h"

#include <fstream>
#include <iterator>
#include <vector>

#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "boards/BlockCrc.h"
#include "boards/BlockFrame.h"
#include "boards/UpdateProtocol.h"
#include "boards/UpgradeModeEntry.h"

namespace {
bool ReadImage(const std::string& filePath, std::vector<uint8_t>& image) {
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
    ConsoleWrite("FPGA file open failed.");
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
    code = board.WaitForAnswer(JobCancellation());
    if (code == AnswerCode::NoAnswer && JobCancelled()) return Abandon(board);
  }

  board.WriteByte(kEot);
  ConsoleWrite("\r\nBoard FPGA Upgrade process success.\r\n");
  board.Close();
  return true;
}
