#include "VirtualControlBoard.h"

#include <chrono>

namespace {
constexpr uint8_t kReset = 0x0E;
constexpr uint8_t kReady = 'C';
constexpr uint8_t kFpga = 'G';
constexpr uint8_t kFirmware = 'F';
constexpr uint8_t kSoh = 0x01;
constexpr uint8_t kEot = 0x04;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr size_t kFrameSize = 133;
constexpr size_t kDataSize = VirtualControlBoard::kFpgaBlockSize;

constexpr int kRunningBaud = 19200;
constexpr int kUpgradeBaud = 115200;
constexpr int kBootloaderBaud = 57600;

// The board's CRC-16 (polynomial 0x5232, MSB first, initial value 0), bit by
// bit: the board checks blocks its own way.
uint16_t BoardCrc(const uint8_t* data, size_t size) {
  uint16_t crc = 0;
  for (size_t i = 0; i < size; ++i) {
    crc ^= static_cast<uint16_t>(data[i] << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x5232)
                           : static_cast<uint16_t>(crc << 1);
    }
  }
  return crc;
}

bool BlockIsSound(const std::vector<uint8_t>& frame) {
  const uint16_t crc = BoardCrc(frame.data(), kFrameSize - 2);
  return frame[131] == (crc >> 8) && frame[132] == (crc & 0xFF) &&
         static_cast<uint8_t>(frame[1] + frame[2]) == 0xFF;
}

}  // namespace

VirtualControlBoard::VirtualControlBoard(BoardBootloader* bootloader, RunningFirmware* firmware)
    : VirtualDevice("control board"), bootloader_(bootloader), firmware_(firmware) {
  SetExpectedBaud(0);  // running firmware checks the rate itself
  watcher_ = std::thread([this] { WatchLine(); });
}

VirtualControlBoard::~VirtualControlBoard() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  watcher_.join();
  Stop();
}

VirtualControlBoard::Mode VirtualControlBoard::CurrentMode() const {
  std::lock_guard lock(mutex_);
  return mode_;
}

bool VirtualControlBoard::WaitForMode(Mode mode, int timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return mode_ == mode; });
}

std::vector<uint8_t> VirtualControlBoard::FpgaImage() const {
  std::lock_guard lock(mutex_);
  return fpgaImage_;
}

int VirtualControlBoard::FpgaImagesReceived() const {
  std::lock_guard lock(mutex_);
  return fpgaImages_;
}

bool VirtualControlBoard::WaitForFpgaImages(int count, int timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return fpgaImages_ >= count; });
}

int VirtualControlBoard::ResetReadAtBaud() const {
  std::lock_guard lock(mutex_);
  return resetReadAtBaud_;
}

std::vector<int> VirtualControlBoard::FpgaBlockNumbers() const {
  std::lock_guard lock(mutex_);
  return blockNumbers_;
}

bool VirtualControlBoard::WaitForFpgaBlocks(size_t count, int timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return blockNumbers_.size() >= count; });
}

void VirtualControlBoard::EnterBootloaderByBootSwitch() {
  StartBootloader("boot switch set and power cycled");
}

void VirtualControlBoard::PowerCycle() {
  std::lock_guard lock(mutex_);
  // The board's loader starts first: with the host listening at the upgrade
  // rate it announces upgrade mode; otherwise the firmware runs.
  inBlock_ = false;
  block_.clear();
  if (LineBaudRate() == kUpgradeBaud) {
    SetMode(Mode::UpgradeStarting);
    Log("power cycled: the host listens at 115200 bit/s, starting upgrade mode");
  } else {
    SetMode(Mode::Running);
    Log("power cycled: firmware running");
  }
}

void VirtualControlBoard::NakBlockOnce(int ordinal) {
  std::lock_guard lock(mutex_);
  nakOrdinal_ = ordinal;
}

void VirtualControlBoard::CorruptBlockOnce(int ordinal) {
  std::lock_guard lock(mutex_);
  corruptOrdinal_ = ordinal;
}

void VirtualControlBoard::StallAtBlock(int ordinal) {
  std::lock_guard lock(mutex_);
  stallOrdinal_ = ordinal;
}

void VirtualControlBoard::HangUpAtBlock(int ordinal) {
  std::lock_guard lock(mutex_);
  hangUpOrdinal_ = ordinal;
}

void VirtualControlBoard::SetNeverSendC(bool never) {
  std::lock_guard lock(mutex_);
  neverSendC_ = never;
}

void VirtualControlBoard::SetStartupText(std::string text) {
  std::lock_guard lock(mutex_);
  startupText_ = std::move(text);
}

void VirtualControlBoard::SetMode(Mode mode) {
  mode_ = mode;
  switch (mode) {
    case Mode::Running:
      // Checked byte by byte in OnReceived (see there).
      SetExpectedBaud(0);
      break;
    case Mode::UpgradeStarting:
    case Mode::UpgradeReady:
    case Mode::ReceivingFpga:
      SetExpectedBaud(kUpgradeBaud);
      break;
    case Mode::Bootloader:
      SetExpectedBaud(kBootloaderBaud);
      break;
  }
  changed_.notify_all();
}

void VirtualControlBoard::RestartIntoUpgradeMode(int lineBaud) {
  resetReadAtBaud_ = lineBaud;
  SetMode(Mode::UpgradeStarting);
  Log("board reset (0x0E read with the line at " + std::to_string(lineBaud) +
      " bit/s): restarting in upgrade mode");
}

void VirtualControlBoard::StartBootloader(const std::string& why) {
  {
    std::lock_guard lock(mutex_);
    SetMode(Mode::Bootloader);
  }
  if (bootloader_) bootloader_->Reset();
  Log("STM32 bootloader started (" + why + ")");
}

void VirtualControlBoard::SendBytes(const uint8_t* data, size_t size) {
  Send(data, size);
}

void VirtualControlBoard::WatchLine() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (mode_ != Mode::UpgradeStarting || neverSendC_) {
      changed_.wait(lock);
      continue;
    }
    // The board speaks only once the program's side runs at the upgrade rate;
    // a pseudo-terminal gives no notice of that, so look now and then.
    if (LineBaudRate() != kUpgradeBaud) {
      changed_.wait_for(lock, std::chrono::milliseconds(2));
      continue;
    }
    SetMode(Mode::UpgradeReady);
    const std::string announcement = startupText_ + static_cast<char>(kReady);
    lock.unlock();
    Log("upgrade mode: sent 'C' at 115200 bit/s");
    SendBytes(reinterpret_cast<const uint8_t*>(announcement.data()), announcement.size());
    lock.lock();
  }
}

void VirtualControlBoard::OnReceived(const uint8_t* data, size_t size) {
  std::unique_lock lock(mutex_);
  for (size_t i = 0; i < size; ++i) {
    const uint8_t byte = data[i];
    switch (mode_) {
      case Mode::Running: {
        // The program sends the reset byte at 19200 and changes to 115200 a
        // millisecond later; on a real line the byte has left by then, but a
        // pseudo-terminal only shows the rate at the moment the byte is read.
        // So a reset byte read at 115200 is the same handshake, overtaken.
        const int lineBaud = LineBaudRate();
        if (byte == kReset && (lineBaud == kRunningBaud || lineBaud == kUpgradeBaud)) {
          RestartIntoUpgradeMode(lineBaud);
        } else if (lineBaud != kRunningBaud) {
          Log("noise: a byte at " + std::to_string(lineBaud) + " bit/s");
        } else if (firmware_) {
          lock.unlock();
          firmware_->OnByte(byte, [this](const std::string& text) {
            SendBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
          });
          lock.lock();
        }
        break;
      }
      case Mode::UpgradeStarting:
        break;
      case Mode::UpgradeReady:
        if (byte == kFpga) {
          inBlock_ = false;
          block_.clear();
          incoming_.clear();
          expectedBlock_ = 1;
          blockOrdinal_ = 0;
          stalled_ = false;
          SetMode(Mode::ReceivingFpga);
          Log("upgrade mode: FPGA transfer selected");
        } else if (byte == kFirmware) {
          lock.unlock();
          StartBootloader("selected in upgrade mode");
          // The rest belongs to the bootloader, at its own baud rate.
          return;
        }
        break;
      case Mode::ReceivingFpga:
        ReceiveFpgaByte(byte);
        break;
      case Mode::Bootloader: {
        lock.unlock();
        if (!bootloader_) return;
        // The board runs its new program before the host hears the answer
        // to Go: whoever looks once the host is done finds it running.
        auto noteStart = [this] {
          if (!bootloader_->ProgramStarted()) return;
          std::lock_guard relock(mutex_);
          if (mode_ == Mode::Bootloader) {
            SetMode(Mode::Running);
            Log("new firmware started");
          }
        };
        bootloader_->OnBytes(data + i, size - i, [&](const uint8_t* answer, size_t count) {
          noteStart();
          SendBytes(answer, count);
        });
        noteStart();
        return;
      }
    }
  }
}

void VirtualControlBoard::ReceiveFpgaByte(uint8_t byte) {
  if (stalled_) return;
  if (!inBlock_) {
    if (byte == kSoh) {
      inBlock_ = true;
      block_.assign(1, byte);
    } else if (byte == kEot) {
      SendByte(kAck);
      fpgaImage_ = incoming_;
      ++fpgaImages_;
      changed_.notify_all();
      Log("FPGA image received: " + std::to_string(incoming_.size()) + " bytes in " +
          std::to_string(blockOrdinal_) + " blocks");
      SetMode(Mode::Running);
    }
    return;
  }
  block_.push_back(byte);
  if (block_.size() == kFrameSize) {
    inBlock_ = false;
    FinishBlock();
  }
}

void VirtualControlBoard::FinishBlock() {
  // A paced board answers once the whole frame could have crossed the line.
  PaceReceived(kFrameSize);
  blockNumbers_.push_back(block_[1]);
  changed_.notify_all();
  const int ordinal = blockOrdinal_ + 1;  // the block due next
  if (hangUpOrdinal_ == ordinal) {
    hangUpOrdinal_ = 0;
    Log("hang-up during block " + std::to_string(ordinal));
    HangUp();
    return;
  }
  if (stallOrdinal_ == ordinal) {
    stallOrdinal_ = 0;
    stalled_ = true;
    Log("stalled at block " + std::to_string(ordinal));
    return;
  }
  if (corruptOrdinal_ == ordinal) {
    corruptOrdinal_ = 0;
    block_[3 + ordinal % kDataSize] ^= 0x10;
  }
  if (!BlockIsSound(block_)) {
    Log("block " + std::to_string(block_[1]) + " refused: bad CRC or complement");
    SendByte(kNak);
    return;
  }
  if (block_[1] == expectedBlock_) {
    if (nakOrdinal_ == ordinal) {
      nakOrdinal_ = 0;
      Log("block " + std::to_string(block_[1]) + " refused on request");
      SendByte(kNak);
      return;
    }
    incoming_.insert(incoming_.end(), block_.begin() + 3, block_.begin() + 3 + kDataSize);
    ++expectedBlock_;
    ++blockOrdinal_;
    SendByte(kAck);
  } else if (static_cast<uint8_t>(block_[1] + 1) == expectedBlock_) {
    SendByte(kAck);  // the previous block again: its ACK was lost
  } else {
    Log("block " + std::to_string(block_[1]) + " out of order");
    SendByte(kNak);
  }
}
