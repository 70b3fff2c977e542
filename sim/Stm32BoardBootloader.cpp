#include "Stm32BoardBootloader.h"

#include "HexText.h"

#include <cstdio>

#include "Stm32BootloaderModel.h"

namespace {
constexpr uint8_t kRead = 0x11;
constexpr uint8_t kGo = 0x21;
constexpr uint8_t kWrite = 0x31;
constexpr uint8_t kErase = 0x43;
constexpr uint8_t kExtendedErase = 0x44;
// A progress line every this many bytes written or read.
constexpr uint64_t kReportEvery = 16 * 1024;

}  // namespace

Stm32BoardBootloader::Stm32BoardBootloader(Stm32BootloaderModel& model, Logger log)
    : model_(model), log_(std::move(log)) {}

void Stm32BoardBootloader::Reset() {
  model_.Reset();
  std::lock_guard lock(mutex_);
  EndPhase();
  seenCommands_ = model_.Commands().size();
  synchronised_ = false;
  started_ = false;
  spoiled_ = false;
  bytesIn_ = 0;
}

void Stm32BoardBootloader::OnBytes(const uint8_t* data, size_t size, const SendFunction& send) {
  std::function<void()> hangUp;
  {
    std::lock_guard lock(mutex_);
    const size_t before = bytesIn_;
    bytesIn_ += size;
    if (hangUpAfter_ > 0 && before < hangUpAfter_ && bytesIn_ >= hangUpAfter_) {
      hangUp = hangUp_;
      size = hangUpAfter_ - before;  // the rest never arrives
    }
  }
  // What the host did is recorded before it hears the answer, so that a
  // host that has its answer finds the record (the program started, above
  // all).
  auto record = [this] {
    std::function<void()> started;
    {
      std::lock_guard lock(mutex_);
      Inspect();
      if (startedNow_) started = onStarted_;
      startedNow_ = false;
    }
    if (started) started();
  };
  model_.OnBytes(data, size, [&](const uint8_t* answer, size_t count) {
    record();
    if (send) send(answer, count);
  });
  record();
  if (hangUp) {
    Log("fault: hang-up after " + std::to_string(hangUpAfter_) + " bytes");
    hangUp();
  }
}

bool Stm32BoardBootloader::ProgramStarted() const {
  std::lock_guard lock(mutex_);
  return started_;
}

void Stm32BoardBootloader::SetOnProgramStarted(std::function<void()> started) {
  std::lock_guard lock(mutex_);
  onStarted_ = std::move(started);
}

void Stm32BoardBootloader::HangUpAfter(size_t bytes, std::function<void()> hangUp) {
  std::lock_guard lock(mutex_);
  hangUpAfter_ = bytes;
  hangUp_ = std::move(hangUp);
}

void Stm32BoardBootloader::SpoilFlashBeforeVerification(bool on) {
  std::lock_guard lock(mutex_);
  spoil_ = on;
}

void Stm32BoardBootloader::Inspect() {
  if (!synchronised_ && model_.Synchronised()) {
    synchronised_ = true;
    Log("synchronised with the host");
  }
  const std::vector<Stm32Command> commands = model_.Commands();
  if (commands.size() < seenCommands_) seenCommands_ = 0;  // cleared by a test
  for (size_t i = seenCommands_; i < commands.size(); ++i) {
    const Stm32Command& command = commands[i];
    if (!command.acknowledged) {
      EndPhase();
      Log("command " + Hex8(command.code) + " refused");
      continue;
    }
    switch (command.code) {
      case kErase:
      case kExtendedErase:
        EndPhase();
        if (command.count == 0xFFFF) {
          Log("erased the whole flash");
        } else {
          Log("erased " + std::to_string(command.count) + " pages or sectors");
        }
        break;
      case kWrite:
        if (phase_ != Phase::Writing) {
          EndPhase();
          phase_ = Phase::Writing;
          Log("flashing from " + Hex32(command.address));
        }
        phaseBytes_ += command.count;
        ++phaseCommands_;
        lastWriteAddress_ = command.address;
        lastWriteSize_ = command.count;
        break;
      case kRead:
        if (phase_ != Phase::Reading) {
          EndPhase();
          phase_ = Phase::Reading;
          Log("reading back from " + Hex32(command.address) + " (verification)");
          if (spoil_ && !spoiled_ && lastWriteSize_ > 0) {
            // Clear one bit of the last written packet, read back last.
            const std::vector<uint8_t> flash = model_.Flash();
            const uint32_t offset = lastWriteAddress_ - model_.FlashBase();
            for (uint32_t k = lastWriteSize_; k-- > 0;) {
              if (offset + k >= flash.size()) continue;
              const uint8_t value = flash[offset + k];
              if (value == 0) continue;
              model_.Program(lastWriteAddress_ + k, {static_cast<uint8_t>(value & (value - 1))});
              spoiled_ = true;
              Log("fault: one bit cleared at " + Hex32(lastWriteAddress_ + k));
              break;
            }
          }
        }
        phaseBytes_ += command.count;
        ++phaseCommands_;
        break;
      case kGo:
        EndPhase();
        started_ = true;
        startedNow_ = true;
        Log("program started at " + Hex32(command.address));
        break;
      default:
        break;
    }
    if ((phase_ == Phase::Writing || phase_ == Phase::Reading) &&
        phaseBytes_ >= reportedAt_ + kReportEvery) {
      reportedAt_ = phaseBytes_ / kReportEvery * kReportEvery;
      Log(std::string(phase_ == Phase::Writing ? "flashed " : "read back ") +
          std::to_string(phaseBytes_) + " bytes...");
    }
  }
  seenCommands_ = commands.size();
}

void Stm32BoardBootloader::EndPhase() {
  if (phase_ == Phase::Writing) {
    Log("flashed " + std::to_string(phaseBytes_) + " bytes in " + std::to_string(phaseCommands_) +
        " packets");
  } else if (phase_ == Phase::Reading) {
    Log("read back " + std::to_string(phaseBytes_) + " bytes in " + std::to_string(phaseCommands_) +
        " packets");
  }
  phase_ = Phase::None;
  phaseBytes_ = 0;
  phaseCommands_ = 0;
  reportedAt_ = 0;
}

void Stm32BoardBootloader::Log(const std::string& line) const {
  if (log_) log_("STM32 bootloader: " + line);
}
