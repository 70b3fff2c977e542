#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "flash/OptionBytes.h"
#include "serial/CRS232.h"

namespace pellux {

class CancelToken;

// Result codes of the bootloader link.
namespace linkresult {
inline constexpr uint8_t kOk = 0;
inline constexpr uint8_t kNotOpen = 1;
inline constexpr uint8_t kAlreadyOpen = 2;
inline constexpr uint8_t kOpenFailed = 3;
inline constexpr uint8_t kShortWrite = 4;
inline constexpr uint8_t kNoReply = 5;
inline constexpr uint8_t kUnknownSync = 18;
inline constexpr uint8_t kRefused = 19;  // not acknowledged, not listed, or a verify mismatch
inline constexpr uint8_t kLaterRefused = 20;
inline constexpr uint8_t kBadSettings = 33;
inline constexpr uint8_t kNullArgument = 34;
}  // namespace linkresult

// The commands a target reported (or, in the 0x75 dialect, is assumed to know).
struct CommandSet {
  bool get = false;                 // 0x00
  bool getVersion = false;          // 0x01
  bool getId = false;               // 0x02
  bool readMemory = false;          // 0x11
  bool go = false;                  // 0x21
  bool writeMemory = false;         // 0x31
  bool erase = false;               // 0x43
  bool extendedErase = false;       // 0x44
  bool writeProtect = false;        // 0x63
  bool writeUnprotect75 = false;    // 0x71, write unprotect of the 0x75 dialect
  bool writeUnprotect = false;      // 0x73
  bool readoutProtect = false;      // 0x82
  bool readoutUnprotect75 = false;  // 0x91, recorded only
  bool readoutUnprotect = false;    // 0x92
};

struct TargetInfo {
  uint8_t version = 0;  // high nibble major, low nibble minor
  uint8_t commandCount = 0;
  uint8_t pidLength = 0;
  std::vector<uint8_t> pid;
  uint8_t option1 = 0;
  uint8_t option2 = 0;
  CommandSet supported;
};

// The one link to the STM32 ROM bootloader over the serial line. Every
// operation returns a result code of linkresult; none throws. Reads honour
// the port's time-outs and end early once the link's token is cancelled
// (kNoReply).
class BootloaderLink {
 public:
  explicit BootloaderLink(const CancelToken& cancel);
  BootloaderLink(const BootloaderLink&) = delete;
  BootloaderLink& operator=(const BootloaderLink&) = delete;

  // The token the port's waits observe from now on; each run of the flash
  // loader hands the process-wide link its own.
  void setCancellation(const CancelToken& cancel) { port_.SetCancellation(cancel); }
  const CancelToken& cancellation() const { return port_.Cancellation(); }

  void clearTargetInfo();
  uint8_t setPortSettings(int portNumber, int baudRate, int dataBits, int parity, float stopBits);
  // A port given by name instead of a number (empty: COM<portNumber>).
  void setPortName(const std::string& name);
  uint8_t openPort();
  uint8_t closePort();
  uint8_t setTimeout(int milliseconds);
  uint8_t setRts(bool on);
  uint8_t setDtr(bool on);
  uint8_t setEchoMode(int mode);  // 0 off, 1 echo, 2 listen
  uint8_t setLineControl(bool on);
  uint8_t setPacketSize(uint8_t size);
  int ackMode() const { return ackMode_; }
  bool isPortOpen() const { return port_.isOpen != 0; }
  uint32_t packetSize() const { return packetSize_; }
  // The port with the settings and the time-out the link gave it last.
  const CRS232& port() const { return port_; }
  const TargetInfo& target() const { return target_; }
  // After a failed operation: one line when the line hung up or the target
  // went quiet (naming the port), empty otherwise.
  std::string lineProblemText() const;
  // After a failed operation: the line hung up (nothing more can reach the target).
  bool lineHungUp() const { return port_.LastProblem() == CRS232::LineProblem::HungUp; }
  // After openPort failed: one line naming the port, the device and the reason.
  const std::string& openFailureText() const { return port_.OpenFailure(); }

  uint8_t initBootloader();
  uint8_t getCommands(uint8_t* version, CommandSet* commands);
  uint8_t getVersion(uint8_t* version, uint8_t* option1, uint8_t* option2);
  uint8_t getId(uint8_t* pidLength, std::vector<uint8_t>* pid);
  // Odd sizes round up to even: `buffer` must hold the rounded size.
  uint8_t readMemory(uint32_t address, uint8_t size, std::span<uint8_t> buffer);
  uint8_t go(uint32_t address);
  // Odd sizes round up to even: `data` must hold the rounded size.
  uint8_t writeMemory(uint32_t address, uint8_t size, std::span<const uint8_t> data);
  // count 0xFFFF erases everything (codes may then be empty).
  uint8_t erase(uint16_t count, std::span<const uint16_t> codes);
  uint8_t writeProtect(std::span<const uint8_t> codes);
  uint8_t writeUnprotect();
  uint8_t readoutProtect();
  uint8_t readoutUnprotect();

  // Block transfers in packets of packetSize().
  uint8_t upload(uint32_t address, std::span<uint8_t> buffer);
  uint8_t verify(uint32_t address, std::span<const uint8_t> expected, bool skipBlank);
  uint8_t download(uint32_t address, std::span<const uint8_t> data, bool skipBlank);

  // Reading at an unknown base leaves `values` as they are.
  uint8_t getOptionBytes(uint32_t base, OptionByteValues& values);
  uint8_t setOptionBytes(uint32_t base, const OptionByteValues& values);

 private:
  bool Classic() const { return ackMode_ != 0x75; }
  uint8_t Send(std::vector<uint8_t> bytes);
  uint8_t ReadByte(uint8_t& byte);
  // An acknowledge: `refusal` when another byte arrives.
  uint8_t ExpectAck(uint8_t refusal);
  uint8_t SendCommand(uint8_t code);
  uint8_t SendAddress(uint32_t address);
  uint8_t ReadRaw(uint32_t address, uint32_t size, uint8_t* buffer);
  uint8_t WriteRaw(uint32_t address, uint32_t size, const uint8_t* data);
  uint8_t SimpleErase(uint16_t count, std::span<const uint16_t> codes);
  uint8_t ExtendedErase(uint16_t count, std::span<const uint16_t> codes);
  uint8_t ProtectionCommand(uint8_t code);
  bool PacketSizeUsable() const;

  CRS232 port_;
  int ackMode_ = 0x79;
  uint8_t ackByte_ = 0x79;
  uint8_t nackByte_ = 0x1F;
  uint32_t packetSize_ = 255;
  TargetInfo target_;
};

// The process-wide link. Between runs of the flash loader nothing cancels it.
BootloaderLink& TheBootloaderLink();

}  // namespace pellux
