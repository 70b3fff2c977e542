#include "flash/BootloaderLink.h"

#include <algorithm>

#include "base/Cancellation.h"
#include "serial/LineMessages.h"

namespace pellux {

using namespace linkresult;

namespace {
constexpr uint8_t kSync = 0x7F;
constexpr uint8_t kGet = 0x00, kGetVersion = 0x01, kGetId = 0x02, kReadMemory = 0x11, kGo = 0x21,
                  kWriteMemory = 0x31, kErase = 0x43, kExtendedErase = 0x44, kWriteProtect = 0x63,
                  kWriteUnprotect75 = 0x71, kWriteUnprotect = 0x73, kReadoutProtect = 0x82,
                  kReadoutUnprotect75 = 0x91, kReadoutUnprotect = 0x92;
// Erase codes travel in groups of this many per command.
constexpr size_t kEraseGroup = 10;
// The most one Read or Write Memory command can carry.
constexpr uint32_t kMaxTransfer = 256;

uint8_t XorOf(const std::vector<uint8_t>& bytes, size_t from = 0) {
  uint8_t x = 0;
  for (size_t i = from; i < bytes.size(); ++i) x ^= bytes[i];
  return x;
}

bool AllBlank(const uint8_t* data, size_t size) {
  return std::all_of(data, data + size, [](uint8_t b) { return b == 0xFF; });
}

void Mark(CommandSet& set, uint8_t code) {
  switch (code) {
    case kGet:
      set.get = true;
      break;
    case kGetVersion:
      set.getVersion = true;
      break;
    case kGetId:
      set.getId = true;
      break;
    case kReadMemory:
      set.readMemory = true;
      break;
    case kGo:
      set.go = true;
      break;
    case kWriteMemory:
      set.writeMemory = true;
      break;
    case kErase:
      set.erase = true;
      break;
    case kExtendedErase:
      set.extendedErase = true;
      break;
    case kWriteProtect:
      set.writeProtect = true;
      break;
    case kWriteUnprotect75:
      set.writeUnprotect75 = true;
      break;
    case kWriteUnprotect:
      set.writeUnprotect = true;
      break;
    case kReadoutProtect:
      set.readoutProtect = true;
      break;
    case kReadoutUnprotect75:
      set.readoutUnprotect75 = true;
      break;
    case kReadoutUnprotect:
      set.readoutUnprotect = true;
      break;
    default:
      break;  // codes this link does not use
  }
}
}  // namespace

BootloaderLink::BootloaderLink(const CancelToken& cancel) : port_(cancel) {
  port_.portNumber = 1;
  port_.baudRate = 115200;
  port_.dataBits = 8;
  port_.parity = 2;
  port_.stopBits = 1.0f;
}

std::string BootloaderLink::lineProblemText() const {
  switch (port_.LastProblem()) {
    case CRS232::LineProblem::HungUp:
      return LineHungUpMessage(port_.Description());
    case CRS232::LineProblem::Quiet:
      return NoAnswerMessage("the STM32 bootloader", port_.Description(), "its answer",
                             (port_.timeoutMs + 999) / 1000);
    case CRS232::LineProblem::None:
      break;
  }
  return {};
}

BootloaderLink& TheBootloaderLink() {
  static const CancelToken idle;
  static BootloaderLink link(idle);
  return link;
}

void BootloaderLink::clearTargetInfo() {
  target_ = TargetInfo{};
}

uint8_t BootloaderLink::setPortSettings(int portNumber, int baudRate, int dataBits, int parity,
                                        float stopBits) {
  if (isPortOpen()) return kAlreadyOpen;
  if (portNumber < 1 || portNumber > 99 || baudRate < 1 || dataBits < 5 || dataBits > 9 ||
      parity < 0 || parity > 2 || stopBits < 1.0f || stopBits > 2.0f)
    return kBadSettings;
  port_.portNumber = portNumber;
  port_.baudRate = baudRate;
  port_.dataBits = dataBits;
  port_.parity = parity;
  port_.stopBits = stopBits;
  return kOk;
}

void BootloaderLink::setPortName(const std::string& name) {
  port_.portName = name;
}

uint8_t BootloaderLink::openPort() {
  if (isPortOpen()) return kAlreadyOpen;
  if (!port_.Open()) {
    // A failed configuration leaves the device open: release it.
    if (isPortOpen()) port_.Close();
    return kOpenFailed;
  }
  return kOk;
}

uint8_t BootloaderLink::closePort() {
  port_.Close();
  return kOk;
}

uint8_t BootloaderLink::setTimeout(int milliseconds) {
  if (!isPortOpen()) return kNotOpen;
  port_.SetTimeouts(milliseconds);
  return kOk;
}

uint8_t BootloaderLink::setRts(bool on) {
  port_.SetRts(on);
  return kOk;
}

uint8_t BootloaderLink::setDtr(bool on) {
  port_.SetDtr(on);
  return kOk;
}

uint8_t BootloaderLink::setEchoMode(int mode) {
  port_.echoMode = mode;
  return kOk;
}

uint8_t BootloaderLink::setLineControl(bool on) {
  port_.lineControlOnOpen = on;
  return kOk;
}

uint8_t BootloaderLink::setPacketSize(uint8_t size) {
  packetSize_ = size & ~3u;
  return kOk;
}

// ---- line primitives ------------------------------------------------------

uint8_t BootloaderLink::Send(std::vector<uint8_t> bytes) {
  // The port may overwrite the buffer with the echo it reads back.
  const int written = port_.Write(int(bytes.size()), bytes.data());
  return written == int(bytes.size()) ? kOk : kShortWrite;
}

uint8_t BootloaderLink::ReadByte(uint8_t& byte) {
  return port_.Read(1, &byte) == 1 ? kOk : kNoReply;
}

uint8_t BootloaderLink::ExpectAck(uint8_t refusal) {
  uint8_t byte = 0;
  if (ReadByte(byte) != kOk) return kNoReply;
  return byte == ackByte_ ? kOk : refusal;
}

uint8_t BootloaderLink::SendCommand(uint8_t code) {
  if (Classic()) return Send({code, uint8_t(code ^ 0xFF)});
  return Send({code});
}

uint8_t BootloaderLink::SendAddress(uint32_t address) {
  std::vector<uint8_t> frame = {uint8_t(address >> 24), uint8_t(address >> 16),
                                uint8_t(address >> 8), uint8_t(address)};
  if (Classic()) frame.push_back(XorOf(frame));
  return Send(std::move(frame));
}

// ---- commands -------------------------------------------------------------

uint8_t BootloaderLink::initBootloader() {
  if (!isPortOpen()) return kNotOpen;
  if (Send({kSync}) != kOk) return kShortWrite;
  uint8_t reply = 0;
  if (ReadByte(reply) != kOk) return kNoReply;
  if (reply == 0x00 && ReadByte(reply) != kOk) return kNoReply;
  if (reply == 0x79) {
    ackMode_ = 0x79;
    ackByte_ = 0x79;
    nackByte_ = 0x1F;
    return kOk;
  }
  if (reply == 0x75) {
    ackMode_ = 0x75;
    ackByte_ = 0x75;
    nackByte_ = 0x3F;
    return kOk;
  }
  ackMode_ = 0;
  ackByte_ = reply;
  return kUnknownSync;
}

uint8_t BootloaderLink::getCommands(uint8_t* version, CommandSet* commands) {
  if (!isPortOpen()) return kNotOpen;
  if (!version || !commands) return kNullArgument;
  if (!Classic()) {
    CommandSet assumed;
    for (uint8_t code : {kGet, kGetVersion, kGetId, kReadMemory, kGo, kWriteMemory, kErase,
                         kWriteProtect, kWriteUnprotect75, kWriteUnprotect, kReadoutProtect,
                         kReadoutUnprotect75, kReadoutUnprotect})
      Mark(assumed, code);
    target_.supported = assumed;
    *commands = assumed;
    uint8_t option1 = 0, option2 = 0;
    return getVersion(version, &option1, &option2);
  }
  if (uint8_t r = SendCommand(kGet)) return r;
  if (uint8_t r = ExpectAck(kRefused)) return r;
  TargetInfo info = target_;
  uint8_t count = 0;
  if (ReadByte(count) || ReadByte(info.version)) return kNoReply;
  info.commandCount = count;
  info.supported = CommandSet{};
  for (int i = 0; i < count; ++i) {
    uint8_t code = 0;
    if (ReadByte(code)) return kNoReply;
    Mark(info.supported, code);
  }
  if (uint8_t r = ExpectAck(kLaterRefused)) return r;
  target_ = info;
  *version = info.version;
  *commands = info.supported;
  return kOk;
}

uint8_t BootloaderLink::getVersion(uint8_t* version, uint8_t* option1, uint8_t* option2) {
  if (!isPortOpen()) return kNotOpen;
  if (!version || !option1 || !option2) return kNullArgument;
  if (!target_.supported.getVersion) return kRefused;
  if (uint8_t r = SendCommand(kGetVersion)) return r;
  // The 0x75 dialect answers at once, without an acknowledge first.
  if (Classic())
    if (uint8_t r = ExpectAck(kRefused)) return r;
  TargetInfo info = target_;
  if (ReadByte(info.version) || ReadByte(info.option1) || ReadByte(info.option2)) return kNoReply;
  if (uint8_t r = ExpectAck(kLaterRefused)) return r;
  target_ = info;
  *version = info.version;
  *option1 = info.option1;
  *option2 = info.option2;
  return kOk;
}

uint8_t BootloaderLink::getId(uint8_t* pidLength, std::vector<uint8_t>* pid) {
  if (!isPortOpen()) return kNotOpen;
  if (!target_.supported.getId) return kRefused;
  if (uint8_t r = SendCommand(kGetId)) return r;
  if (uint8_t r = ExpectAck(kRefused)) return r;
  TargetInfo info = target_;
  uint8_t n = 0;
  if (ReadByte(n)) return kNoReply;
  info.pidLength = uint8_t(n + 1);
  info.pid.assign(size_t(n) + 1, 0);
  if (port_.Read(int(info.pid.size()), info.pid.data()) != int(info.pid.size())) return kNoReply;
  if (uint8_t r = ExpectAck(kLaterRefused)) return r;
  target_ = info;
  if (pidLength) *pidLength = info.pidLength;
  if (pid) *pid = info.pid;
  return kOk;
}

uint8_t BootloaderLink::ReadRaw(uint32_t address, uint32_t size, uint8_t* buffer) {
  if (size == 0 || size > kMaxTransfer) return kBadSettings;
  if (uint8_t r = SendCommand(kReadMemory)) return r;
  if (uint8_t r = ExpectAck(kRefused)) return r;
  if (uint8_t r = SendAddress(address)) return r;
  if (uint8_t r = ExpectAck(kLaterRefused)) return r;
  const uint8_t n = uint8_t(size - 1);
  if (uint8_t r = Classic() ? Send({n, uint8_t(n ^ 0xFF)}) : Send({n})) return r;
  if (Classic())
    if (uint8_t r = ExpectAck(kLaterRefused)) return r;
  return port_.Read(int(size), buffer) == int(size) ? kOk : kNoReply;
}

uint8_t BootloaderLink::WriteRaw(uint32_t address, uint32_t size, const uint8_t* data) {
  if (size == 0 || size > kMaxTransfer) return kBadSettings;
  if (uint8_t r = SendCommand(kWriteMemory)) return r;
  if (uint8_t r = ExpectAck(kRefused)) return r;
  if (uint8_t r = SendAddress(address)) return r;
  if (uint8_t r = ExpectAck(kLaterRefused)) return r;
  std::vector<uint8_t> frame = {uint8_t(size - 1)};
  frame.insert(frame.end(), data, data + size);
  if (Classic()) frame.push_back(XorOf(frame));
  if (uint8_t r = Send(std::move(frame))) return r;
  return ExpectAck(kLaterRefused);
}

uint8_t BootloaderLink::readMemory(uint32_t address, uint8_t size, std::span<uint8_t> buffer) {
  if (!isPortOpen()) return kNotOpen;
  if (!target_.supported.readMemory) return kRefused;
  if (!buffer.data()) return kNullArgument;
  // Odd sizes go out rounded up to even; a size of 0 cannot be expressed.
  const uint32_t rounded = uint32_t(size) + (size & 1u);
  if (rounded == 0) return kBadSettings;
  if (buffer.size() < rounded) return kNullArgument;
  return ReadRaw(address, rounded, buffer.data());
}

uint8_t BootloaderLink::writeMemory(uint32_t address, uint8_t size, std::span<const uint8_t> data) {
  if (!isPortOpen()) return kNotOpen;
  if (!target_.supported.writeMemory) return kRefused;
  if (!data.data()) return kNullArgument;
  const uint32_t rounded = uint32_t(size) + (size & 1u);
  if (rounded == 0) return kBadSettings;
  if (data.size() < rounded) return kNullArgument;
  return WriteRaw(address, rounded, data.data());
}

uint8_t BootloaderLink::go(uint32_t address) {
  if (!isPortOpen()) return kNotOpen;
  if (!target_.supported.go) return kRefused;
  if (uint8_t r = SendCommand(kGo)) return r;
  if (uint8_t r = ExpectAck(kRefused)) return r;
  if (uint8_t r = SendAddress(address)) return r;
  // The program starts; the byte that follows is not checked.
  uint8_t byte = 0;
  return ReadByte(byte);
}

uint8_t BootloaderLink::SimpleErase(uint16_t count, std::span<const uint16_t> codes) {
  auto one = [&](std::span<const uint16_t> group, bool all) -> uint8_t {
    if (uint8_t r = SendCommand(kErase)) return r;
    if (uint8_t r = ExpectAck(kRefused)) return r;
    std::vector<uint8_t> frame;
    if (all) {
      frame = Classic() ? std::vector<uint8_t>{0xFF, 0x00} : std::vector<uint8_t>{0xFF};
    } else {
      frame.push_back(uint8_t(group.size() - 1));
      for (uint16_t code : group) frame.push_back(uint8_t(code));
      // The 0x75 dialect takes the page codes without a checksum; a stray
      // byte would be read as the next command.
      if (Classic()) frame.push_back(XorOf(frame));
    }
    if (uint8_t r = Send(std::move(frame))) return r;
    return ExpectAck(kLaterRefused);
  };
  if (count == 0xFFFF) return one({}, true);
  for (size_t start = 0; start < count; start += kEraseGroup) {
    const size_t n = std::min<size_t>(kEraseGroup, count - start);
    if (uint8_t r = one(codes.subspan(start, n), false)) return r;
  }
  return kOk;
}

uint8_t BootloaderLink::ExtendedErase(uint16_t count, std::span<const uint16_t> codes) {
  auto one = [&](std::span<const uint16_t> group, uint16_t special) -> uint8_t {
    if (uint8_t r = SendCommand(kExtendedErase)) return r;
    if (uint8_t r = ExpectAck(kRefused)) return r;
    std::vector<uint8_t> frame;
    if (special) {
      frame = {uint8_t(special >> 8), uint8_t(special)};
    } else {
      const uint16_t n = uint16_t(group.size() - 1);
      frame = {uint8_t(n >> 8), uint8_t(n)};
      for (uint16_t code : group) {
        frame.push_back(uint8_t(code >> 8));
        frame.push_back(uint8_t(code));
      }
    }
    frame.push_back(XorOf(frame));
    if (uint8_t r = Send(std::move(frame))) return r;
    return ExpectAck(kLaterRefused);
  };
  if ((count >> 8) == 0xFF) return one({}, count);
  for (size_t start = 0; start < count; start += kEraseGroup) {
    const size_t n = std::min<size_t>(kEraseGroup, count - start);
    if (uint8_t r = one(codes.subspan(start, n), 0)) return r;
  }
  return kOk;
}

uint8_t BootloaderLink::erase(uint16_t count, std::span<const uint16_t> codes) {
  if (!isPortOpen()) return kNotOpen;
  const CommandSet& s = target_.supported;
  if (!s.erase && !s.extendedErase) return kRefused;
  if (count != 0xFFFF && (!codes.data() || codes.size() < count)) return kNullArgument;
  if (count == 0) return kOk;
  if (s.erase)
    if (uint8_t r = SimpleErase(count, codes)) return r;
  if (s.extendedErase)
    if (uint8_t r = ExtendedErase(count, codes)) return r;
  return kOk;
}

uint8_t BootloaderLink::writeProtect(std::span<const uint8_t> codes) {
  if (!isPortOpen()) return kNotOpen;
  if (!target_.supported.writeProtect) return kRefused;
  if (!codes.data() || codes.empty() || codes.size() > 256) return kNullArgument;
  if (uint8_t r = SendCommand(kWriteProtect)) return r;
  if (uint8_t r = ExpectAck(kRefused)) return r;
  std::vector<uint8_t> frame = {uint8_t(codes.size() - 1)};
  frame.insert(frame.end(), codes.begin(), codes.end());
  frame.push_back(XorOf(frame));
  if (uint8_t r = Send(std::move(frame))) return r;
  return ExpectAck(kLaterRefused);
}

uint8_t BootloaderLink::ProtectionCommand(uint8_t code) {
  if (uint8_t r = SendCommand(code)) return r;
  if (uint8_t r = ExpectAck(kRefused)) return r;
  // The second acknowledge comes when the target has done it.
  return ExpectAck(kLaterRefused);
}

uint8_t BootloaderLink::writeUnprotect() {
  if (!isPortOpen()) return kNotOpen;
  if (Classic()) {
    if (!target_.supported.writeUnprotect) return kRefused;
    return ProtectionCommand(kWriteUnprotect);
  }
  if (!target_.supported.writeUnprotect75) return kRefused;
  return ProtectionCommand(kWriteUnprotect75);
}

uint8_t BootloaderLink::readoutProtect() {
  if (!isPortOpen()) return kNotOpen;
  if (!target_.supported.readoutProtect) return kRefused;
  return ProtectionCommand(kReadoutProtect);
}

uint8_t BootloaderLink::readoutUnprotect() {
  if (!isPortOpen()) return kNotOpen;
  if (!target_.supported.readoutUnprotect) return kRefused;
  return ProtectionCommand(kReadoutUnprotect);
}

// ---- block transfers ------------------------------------------------------

bool BootloaderLink::PacketSizeUsable() const {
  return packetSize_ >= 4 && packetSize_ <= kMaxTransfer && packetSize_ % 4 == 0;
}

uint8_t BootloaderLink::upload(uint32_t address, std::span<uint8_t> buffer) {
  if (!isPortOpen()) return kNotOpen;
  if (!target_.supported.readMemory) return kRefused;
  if (!PacketSizeUsable()) return kBadSettings;
  std::vector<uint8_t> packet(packetSize_);
  size_t done = 0;
  while (done < buffer.size()) {
    const uint32_t size = uint32_t(std::min<size_t>(packetSize_, buffer.size() - done));
    std::fill(packet.begin(), packet.end(), 0xFF);
    if (uint8_t r = ReadRaw(address + uint32_t(done), size + (size & 1u), packet.data())) return r;
    std::copy_n(packet.begin(), size, buffer.begin() + done);
    done += size;
  }
  return kOk;
}

uint8_t BootloaderLink::verify(uint32_t address, std::span<const uint8_t> expected,
                               bool skipBlank) {
  if (!isPortOpen()) return kNotOpen;
  if (!target_.supported.readMemory) return kRefused;
  if (!PacketSizeUsable()) return kBadSettings;
  std::vector<uint8_t> packet(packetSize_);
  size_t done = 0;
  while (done < expected.size()) {
    const uint32_t size = uint32_t(std::min<size_t>(packetSize_, expected.size() - done));
    const uint8_t* want = expected.data() + done;
    if (!(skipBlank && AllBlank(want, size))) {
      std::fill(packet.begin(), packet.end(), 0xFF);
      if (uint8_t r = ReadRaw(address + uint32_t(done), size + (size & 1u), packet.data()))
        return r;
      if (!std::equal(want, want + size, packet.begin())) return kRefused;
    }
    done += size;
  }
  return kOk;
}

uint8_t BootloaderLink::download(uint32_t address, std::span<const uint8_t> data, bool skipBlank) {
  if (!isPortOpen()) return kNotOpen;
  if (!target_.supported.writeMemory) return kRefused;
  if (!PacketSizeUsable()) return kBadSettings;
  std::vector<uint8_t> packet(packetSize_);
  const size_t full = data.size() / packetSize_ * packetSize_;
  for (size_t done = 0; done < full; done += packetSize_) {
    std::fill(packet.begin(), packet.end(), 0xFF);
    std::copy_n(data.begin() + done, packetSize_, packet.begin());
    if (skipBlank && AllBlank(packet.data(), packetSize_)) continue;
    if (uint8_t r = WriteRaw(address + uint32_t(done), packetSize_, packet.data())) return r;
  }
  const uint32_t rest = uint32_t(data.size() - full);
  if (rest == 0) return kOk;
  // The remainder is laid over the target's current content, so the pad byte
  // of an odd count rewrites what is there instead of clearing it.
  if (!target_.supported.readMemory) return kRefused;
  const uint32_t at = address + uint32_t(full);
  std::fill(packet.begin(), packet.end(), 0xFF);
  if (uint8_t r = ReadRaw(at, (rest & ~3u) + 4, packet.data())) return r;
  std::copy_n(data.begin() + full, rest, packet.begin());
  if (skipBlank && AllBlank(packet.data(), rest)) return kOk;
  return WriteRaw(at, rest + (rest & 1u), packet.data());
}

// ---- option bytes ---------------------------------------------------------

uint8_t BootloaderLink::getOptionBytes(uint32_t base, OptionByteValues& values) {
  if (!isPortOpen()) return kNotOpen;
  if (!target_.supported.readMemory) return kRefused;
  OptionByteBlock block;
  block.fill(0xFF);
  if (uint8_t r = ReadRaw(base, block.size(), block.data())) return r;
  if (auto decoded = DecodeOptionBytes(base, block)) values = *decoded;
  return kOk;
}

uint8_t BootloaderLink::setOptionBytes(uint32_t base, const OptionByteValues& values) {
  if (!isPortOpen()) return kNotOpen;
  if (!target_.supported.readMemory || !target_.supported.writeMemory) return kRefused;
  const OptionByteBlock block = EncodeOptionBytes(base, values);
  return WriteRaw(base, block.size(), block.data());
}

}  // namespace pellux
