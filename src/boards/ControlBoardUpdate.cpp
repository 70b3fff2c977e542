#include "boards/ControlBoardUpdate.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "base/Cancellation.h"
#include "base/FileHandle.h"
#include "base/JobConsole.h"
#include "boards/BlockFrame.h"
#include "boards/FlashLoaderPort.h"
#include "boards/MapTemplates.h"
#include "boards/UpdateProtocol.h"
#include "boards/UpgradeModeEntry.h"
#include "flash/FlashLoader.h"

namespace pellux {

namespace {
constexpr const char* kMapFileName = "map.map";

// Removes the map file this update wrote, and nothing else: the current
// directory may hold .map files of the user's own.
class MapFile {
 public:
  ~MapFile() {
    if (written_) {
      std::error_code ignored;
      std::filesystem::remove(kMapFileName, ignored);
    }
  }

  bool Write(std::string_view content) {
    FileHandle file = OpenFile(kMapFileName, "w");
    if (!file) return false;
    written_ = true;
    const bool complete =
        std::fwrite(content.data(), 1, content.size(), file.get()) == content.size();
    return CloseFile(file) && complete;
  }

 private:
  bool written_ = false;
};

bool WaitForManualBoot(const CancelToken& cancel, JobConsole& console) {
  console.Write("\r\n");
  console.Write(
      "In control board, Slide switch move to [Boot Mode].\r\nAnd please turn off and turn on "
      "[I/O Switch] or [Board Power Switch].\r\n");
  console.Write("And press enter key...\r\n");
  console.Write("Press Ctrl+C for stop download.\r\n");
  console.Write("\r\n");
  return console.ReadKey(cancel) != -1;
}

bool EnterBootloaderThroughUpgradeMode(const std::string& portName, const CancelToken& cancel,
                                       JobConsole& console) {
  PrintAutomaticEntryPrompt(console);
  UpdateProtocol board(cancel);
  if (EnterUpgradeMode(board, portName, true, console) != UpgradeModeEntry::Ready) return false;
  board.WriteByte(kSelectFirmware);
  board.Close();
  // The board hands its line to the STM32 ROM bootloader meanwhile.
  return cancel.SleepFor(std::chrono::milliseconds(1000));
}
}  // namespace

bool updateControlBoard(const std::string& portName, const std::string& firmwarePath,
                        bool manualBoot, const CancelToken& cancel, JobConsole& console) {
  const bool f4Chip = firmwarePath.find("F4-") != std::string::npos;
  if (f4Chip) console.Write("It is a device using F4 chip.\r\n");

  if (f4Chip || manualBoot) {
    if (!WaitForManualBoot(cancel, console)) return false;
  } else {
    if (!EnterBootloaderThroughUpgradeMode(portName, cancel, console)) return false;
  }

  MapFile map;
  if (!map.Write(f4Chip ? F4MapTemplate() : std::string_view(HighDensityMapTemplate()))) {
    return false;
  }

  const std::string portNumber = FlashLoaderPortText(portName);
  const char* const timeout = f4Chip ? "10000" : "3000";
  const char* const texts[] = {"exefile",
                               "-c",
                               "--pn",
                               portNumber.c_str(),
                               "--br",
                               "57600",
                               "--to",
                               timeout,
                               "-i",
                               "map",
                               "-e",
                               "--all",
                               "-d",
                               "--fn",
                               firmwarePath.c_str(),
                               "--v",
                               "--o",
                               "-r",
                               "--a",
                               "8000000"};
  static_assert(std::size(texts) == 20);
  // A failed flash must never be announced as a completed update.
  return runFlashLoader(static_cast<int>(std::size(texts)), texts, cancel, console) == 0;
}

bool updateControlBoard(const std::string& portName, const std::string& firmwarePath,
                        bool manualBoot) {
  return updateControlBoard(portName, firmwarePath, manualBoot, JobCancellation(), ActiveConsole());
}

}  // namespace pellux
