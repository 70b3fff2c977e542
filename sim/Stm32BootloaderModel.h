#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "BoardBootloader.h"

// The flash layouts the twin can take.
enum class Stm32Chip {
  // Product id 0x414, bootloader 2.2, 128 pages of 2 KB at 0x08000000, Erase
  // (0x43), option bytes at 0x1FFFF800 (value/complement pairs).
  HighDensity,
  // Product id 0x423, bootloader 3.1, sectors of 16/16/16/16/64/128 KB at
  // 0x08000000, Extended Erase (0x44), option bytes at 0x1FFFC000.
  F4,
};

struct Stm32Options {
  Stm32Chip chip = Stm32Chip::HighDensity;
  // 0x79: the usual dialect. 0x75: command codes without complement, no
  // checksum on address and read/write frames, Get Version answers at once.
  uint8_t ackByte = 0x79;
  // Answer the synchronisation byte with 0x00 before the acknowledge.
  bool zeroBeforeSyncAck = false;
  // Overrides the chip's product id (to try other option-byte layouts).
  std::optional<uint16_t> productId;
  // Time an erase or a write takes before it is acknowledged.
  std::chrono::milliseconds eraseTime{0};
  std::chrono::milliseconds writeTime{0};
  // Faults (also switchable at run time).
  bool silent = false;                 // the bootloader is not running: ignore everything
  std::optional<uint8_t> nackCommand;  // refuse this command code
  bool noise = false;                  // every answer byte arrives garbled
  std::function<void(const std::string&)> log;
};

// One command the twin worked through (for assertions on the wire).
struct Stm32Command {
  uint8_t code = 0;
  uint32_t address = 0;
  // Read/Write Memory: bytes moved. Erase, Extended Erase, Write Protect:
  // number of codes (0xFFFF for a mass erase).
  uint32_t count = 0;
  std::vector<uint16_t> codes;  // page, sector or protection codes
  bool acknowledged = false;
};

// The STM32 ROM bootloader of the USART protocol, seen from the device: it
// takes the bytes the host sent and answers through `send`. It knows no
// transport, so a board twin can hand its line over to it. Thread-safe: the
// line feeds it on one thread while tests inspect it on another.
class Stm32BootloaderModel : public BoardBootloader {
 public:
  explicit Stm32BootloaderModel(Stm32Options options = {});
  Stm32BootloaderModel(const Stm32BootloaderModel&) = delete;
  Stm32BootloaderModel& operator=(const Stm32BootloaderModel&) = delete;

  // Bytes from the host. Answers go out through `send`, after the erase or
  // write time where one applies; `send` is never called under the lock.
  void OnBytes(const uint8_t* data, size_t size, const SendFunction& send) override;
  // A reset of the chip: back to waiting for 0x7F; memory is kept.
  void Reset() override;
  bool ProgramStarted() const override;

  // Faults.
  void SetSilent(bool silent);
  void SetNackCommand(std::optional<uint8_t> code);
  void SetNoise(bool noise);

  // Inspection.
  std::vector<uint8_t> Flash() const;
  uint32_t FlashBase() const { return 0x08000000; }
  uint32_t FlashSize() const;
  uint32_t OptionBase() const;
  std::array<uint8_t, 16> OptionBytes() const;
  bool ReadProtected() const;
  bool Synchronised() const;
  // Address of the last Go; empty until one arrived.
  std::optional<uint32_t> StartedAt() const;
  std::vector<Stm32Command> Commands() const;
  void ClearCommands();

  // Test set-up: programs bytes as a Write Memory would (clears bits only).
  void Program(uint32_t address, const std::vector<uint8_t>& bytes);

 private:
  enum class State {
    Unsynced,
    Idle,
    ReadAddress,
    ReadLength,
    GoAddress,
    WriteAddress,
    WriteData,
    Erase,
    ExtendedErase,
    WriteProtect,
    Running,
  };
  struct Answer {
    std::chrono::milliseconds delay{0};
    std::vector<uint8_t> bytes;
  };

  // All of these run under mutex_.
  void Process(std::vector<Answer>& out);
  bool Step(std::vector<Answer>& out);  // false when more bytes are needed
  bool StartCommand(uint8_t code, std::vector<Answer>& out);
  void Ack(std::vector<Answer>& out, std::chrono::milliseconds delay = {});
  void Nack(std::vector<Answer>& out);
  void Emit(std::vector<Answer>& out, std::vector<uint8_t> bytes);
  void Finish(bool acknowledged);
  void Trace(const std::string& line) const;
  bool Supported(uint8_t code) const;
  bool InFlash(uint32_t address, uint32_t size) const;
  bool InOptions(uint32_t address, uint32_t size) const;
  bool PageProtected(uint32_t page) const;
  uint32_t PageOf(uint32_t address) const;
  uint32_t PageCount() const;
  std::pair<uint32_t, uint32_t> PageRange(uint32_t page) const;  // offset, size
  void ErasePage(uint32_t page);
  void MassErase();
  void ResetOptionBytes();
  bool RdpActive() const;
  int RdpPosition() const;
  std::array<int, 4> WrpPositions() const;  // -1: not in this layout
  uint32_t WrpWord() const;
  void SetWrpWord(uint32_t word);
  void SetReadProtection(bool on);
  void SetWriteProtection(const std::vector<uint16_t>& codes);
  void ClearWriteProtection();
  uint16_t ProductId() const;
  uint8_t Nak() const { return options_.ackByte == 0x75 ? 0x3F : 0x1F; }
  bool Classic() const { return options_.ackByte != 0x75; }

  mutable std::mutex mutex_;
  Stm32Options options_;
  State state_ = State::Unsynced;
  std::vector<uint8_t> pending_;
  Stm32Command current_;
  std::vector<Stm32Command> commands_;
  std::vector<uint8_t> flash_;
  std::array<uint8_t, 16> options16_{};
  std::optional<uint32_t> startedAt_;
};
