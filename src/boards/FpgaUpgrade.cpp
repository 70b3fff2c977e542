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

bool UpgradeFpga(const std::string& portName, const std::string& filePath,
                 const CancelToken& cancel, JobConsole& console) {
  std::vector<uint8_t> image;
  if (!ReadImage(filePath, image)) {
    const int reason = errno;
    console.Write("FPGA file open failed.");
    console.Printf("\r\nCannot read %s: %s.\r\n", filePath.c_str(),
                   reason != 0 ? std::strerror(reason) : "unreadable");
    return false;
  }
  // With no block to send the board would only see EOT: refuse before the
  // board is reset into upgrade mode at all.
  if (image.empty()) {
    console.Write("FPGA file is empty.\r\n");
    return false;
  }

  InitCrcTable(kBoardCrcPolynomial);
  ResetBlockNumbers();
  PrintAutomaticEntryPrompt(console);

  UpdateProtocol board(cancel);
  switch (EnterUpgradeMode(board, portName, false, console)) {
    case UpgradeModeEntry::OpenFailed:
    case UpgradeModeEntry::Cancelled:
    case UpgradeModeEntry::LineLost:
      return false;
    case UpgradeModeEntry::Ready:
      break;
  }

  console.Write("Transfer Start.\r\n");
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
        console.Write("\r\nComport write failed.\r\n");
        return Abandon(board);
      }
      ++sent;
      console.Printf("%d/%d\r", static_cast<int>(sent), static_cast<int>(total));
    } else if (code == AnswerCode::Refused) {
      if (!board.Write(frame.data(), frame.size())) {
        console.Write("\r\nComport write failed.\r\n");
        return Abandon(board);
      }
    }
    code = board.WaitForAnswer(std::chrono::seconds(kAnswerTimeoutSeconds));
    if (code != AnswerCode::NoAnswer) continue;
    if (cancel.IsCancelled()) return Abandon(board);
    // A board that went quiet or a line that went away ends the job here.
    console.Write("\r\n");
    console.Write(board.LineLost()
                      ? LineHungUpMessage(board.PortDescription())
                      : NoAnswerMessage("the control board", board.PortDescription(),
                                        "its acknowledgement of FPGA block " +
                                            std::to_string(sent) + "/" + std::to_string(total)));
    return Abandon(board);
  }

  board.WriteByte(kEot);
  console.Write("\r\nBoard FPGA Upgrade process success.\r\n");
  board.Close();
  return true;
}

bool UpgradeFpga(const std::string& portName, const std::string& filePath) {
  return UpgradeFpga(portName, filePath, JobCancellation(), ActiveConsole());
}

}  // namespace pellux
