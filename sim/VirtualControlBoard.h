#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BoardBootloader.h"
#include "RunningFirmware.h"
#include "VirtualDevice.h"

// The machine's control board as seen from its serial line.
//
// Running firmware listens at 19200 bit/s; the byte 0x0E restarts the board
// into upgrade mode, which announces itself with 'C' once the line runs at
// 115200 bit/s. There 'G' receives an FPGA image in 133-byte blocks and 'F'
// hands the line to the STM32 ROM bootloader at 57600 bit/s.
class VirtualControlBoard : public VirtualDevice {
 public:
  enum class Mode {
    Running,          // the board's firmware
    UpgradeStarting,  // reset into upgrade mode; waits for the line to run at 115200
    UpgradeReady,     // 'C' sent; waits for the selector
    ReceivingFpga,    // 'G' received; blocks until EOT
    Bootloader,       // the line belongs to the STM32 ROM bootloader
  };

  // Neither pointer is owned; both must outlive the board.
  explicit VirtualControlBoard(BoardBootloader* bootloader = nullptr,
                               RunningFirmware* firmware = nullptr);
  ~VirtualControlBoard() override;

  Mode CurrentMode() const;
  // Waits until the board is in `mode`; false after `timeoutMs`.
  bool WaitForMode(Mode mode, int timeoutMs = 20000) const;

  // Data bytes in one block of an FPGA image.
  static constexpr size_t kFpgaBlockSize = 128;

  // The last FPGA image received up to EOT (whole blocks, padding included).
  std::vector<uint8_t> FpgaImage() const;
  int FpgaImagesReceived() const;
  // Line rate the program's side ran at when the reset byte was read.
  int ResetReadAtBaud() const;
  bool WaitForFpgaImages(int count, int timeoutMs = 20000) const;
  // Block numbers of every complete block frame that arrived, in order.
  std::vector<int> FpgaBlockNumbers() const;
  // Waits until at least `count` block frames have arrived.
  bool WaitForFpgaBlocks(size_t count, int timeoutMs = 20000) const;

  // The operator sets the boot switch and cycles the power: the STM32 starts
  // in its ROM bootloader.
  void EnterBootloaderByBootSwitch();
  // Power cycle with the boot switch in its normal position.
  void PowerCycle();

  // Faults. Blocks are counted from 1 in the order of the image.
  void NakBlockOnce(int ordinal);      // refuse its first arrival
  void CorruptBlockOnce(int ordinal);  // its first arrival is damaged on the line
  void StallAtBlock(int ordinal);      // receive it and never answer again
  void HangUpAtBlock(int ordinal);     // close the line when it arrives
  void SetNeverSendC(bool never);      // upgrade mode never announces itself
  // Text the board prints in upgrade mode before its 'C'.
  void SetStartupText(std::string text);

 protected:
  void OnReceived(const uint8_t* data, size_t size) override;

 private:
  void SetMode(Mode mode);  // under mutex_
  void RestartIntoUpgradeMode(int lineBaud);
  void StartBootloader(const std::string& why);
  void ReceiveFpgaByte(uint8_t byte);
  void FinishBlock();
  void SendBytes(const uint8_t* data, size_t size);
  void SendByte(uint8_t byte) { SendBytes(&byte, 1); }
  void WatchLine();

  BoardBootloader* const bootloader_;
  RunningFirmware* const firmware_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  Mode mode_ = Mode::Running;
  bool stopping_ = false;
  int resetReadAtBaud_ = 0;

  // FPGA reception (device thread).
  std::vector<uint8_t> block_;
  bool inBlock_ = false;
  uint8_t expectedBlock_ = 1;
  int blockOrdinal_ = 0;  // ordinal of the next new block
  std::vector<uint8_t> incoming_;
  std::vector<uint8_t> fpgaImage_;
  int fpgaImages_ = 0;
  std::vector<int> blockNumbers_;
  bool stalled_ = false;

  int nakOrdinal_ = 0;
  int corruptOrdinal_ = 0;
  int stallOrdinal_ = 0;
  int hangUpOrdinal_ = 0;
  bool neverSendC_ = false;
  std::string startupText_ = "Upgrade mode\r\n";

  std::thread watcher_;
};
