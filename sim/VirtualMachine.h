#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class VirtualControlBoard;

// Faults a person can switch on to try the error paths by hand.
enum class MachineFault {
  None,
  Silence,  // the board never announces its upgrade mode, nothing answers
  Nak,      // the bootloader refuses writes; the board refuses an FPGA block once
  Noise,    // everything the devices send arrives garbled
  HangUp,   // the line goes dead in the middle of a transfer
  Verify,   // the flash loses a bit between writing and reading back
};

// One line saying whether `flash` (starting at `flashBase`) holds `image` at
// `address`: "flash matches <name>: N bytes at 0x08000000" or why not.
std::string FlashComparisonLine(const std::string& imageName, uint32_t flashBase,
                                const std::vector<uint8_t>& flash, uint32_t address,
                                const std::vector<uint8_t>& image);

// Parses "silence", "nak", "noise", "hangup", "verify" (and "none").
std::optional<MachineFault> MachineFaultFromName(const std::string& name);

struct VirtualMachineOptions {
  std::string boardPort = "COM3";
  std::string servoPort = "COM5";
  std::string stepPort = "COM6";
  bool f4Chip = false;     // the board's STM32: high-density (false) or F4
  uint8_t ackByte = 0x79;  // bootloader dialect: 0x79 or 0x75
  bool r1psBoard = false;  // extend settings of R1PS (six punches) instead of NR2
  bool pacing = false;     // send at the real line rate
  MachineFault fault = MachineFault::None;
  // Called on a device thread each time the board's program is started.
  std::function<void()> onProgramStarted;
  // Record file whose exchanges the step drive answers (may be empty).
  std::string stepRecordFile;
};

// The whole machine as its serial lines see it: the control board (running
// firmware, upgrade mode, STM32 bootloader), the servo drive and the step
// drive, each on a pseudo-terminal of its own.
class VirtualMachine {
 public:
  using Logger = std::function<void(const std::string&)>;

  VirtualMachine(VirtualMachineOptions options, Logger log);
  ~VirtualMachine();
  VirtualMachine(const VirtualMachine&) = delete;
  VirtualMachine& operator=(const VirtualMachine&) = delete;

  void Start();
  void Stop();

  struct Line {
    std::string device;  // "control board", ...
    std::string port;    // the name a job uses, "COM3"
    std::string path;    // the pseudo-terminal the program opens
  };
  std::vector<Line> Lines() const;
  // The value for PUPDATE_PORT_MAP: "COM3=/dev/pts/4,COM5=/dev/pts/5,...".
  std::string PortMap() const;

  VirtualControlBoard& Board();
  // The board's STM32 flash from 0x08000000.
  std::vector<uint8_t> Flash() const;
  // One line saying whether the flash holds `image` at `address`.
  std::string CompareFlash(const std::string& imageName, uint32_t address,
                           const std::vector<uint8_t>& image) const;
  // One line saying whether the board's FPGA store holds `image`.
  std::string CompareFpga(const std::string& imageName, const std::vector<uint8_t>& image) const;
  // The control board's punch positions (and press speed) as one line.
  std::string ExtendSettings() const;
  // The servo drive's parameter table as one line.
  std::string ServoParameters() const;

 private:
  struct Devices;
  VirtualMachineOptions options_;
  std::unique_ptr<Devices> devices_;
};
