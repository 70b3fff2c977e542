#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "BoardBootloader.h"

class Stm32BootloaderModel;

// The board's line, once handed to the STM32, reaches this ROM bootloader
// model. Besides passing bytes both ways it tells in readable lines what the
// host did (synchronised, erased, bytes flashed, read back, program started)
// and offers the faults that need to know where a transfer stands.
class Stm32BoardBootloader : public BoardBootloader {
 public:
  using Logger = std::function<void(const std::string&)>;

  // The model is not owned and must outlive the adapter.
  explicit Stm32BoardBootloader(Stm32BootloaderModel& model, Logger log = {});

  void Reset() override;
  void OnBytes(const uint8_t* data, size_t size, const SendFunction& send) override;
  bool ProgramStarted() const override;

  // Called (outside any lock) each time the host starts the program.
  void SetOnProgramStarted(std::function<void()> started);

  // Faults.
  // Calls `hangUp` once this many bytes have reached the bootloader (0: off).
  void HangUpAfter(size_t bytes, std::function<void()> hangUp);
  // When the host starts reading back what it wrote, one bit of the last
  // written packet is cleared, as a worn-out flash cell would do.
  void SpoilFlashBeforeVerification(bool on);

 private:
  enum class Phase { None, Erasing, Writing, Reading };
  void Inspect();   // under mutex_
  void EndPhase();  // under mutex_
  void Log(const std::string& line) const;

  Stm32BootloaderModel& model_;
  Logger log_;
  mutable std::mutex mutex_;
  size_t seenCommands_ = 0;
  bool synchronised_ = false;
  bool started_ = false;
  bool startedNow_ = false;  // a Go since OnBytes began
  std::function<void()> onStarted_;
  Phase phase_ = Phase::None;
  uint64_t phaseBytes_ = 0;
  uint64_t phaseCommands_ = 0;
  uint64_t reportedAt_ = 0;
  uint32_t lastWriteAddress_ = 0;
  uint32_t lastWriteSize_ = 0;
  size_t bytesIn_ = 0;
  size_t hangUpAfter_ = 0;
  std::function<void()> hangUp_;
  bool spoil_ = false;
  bool spoiled_ = false;
};
