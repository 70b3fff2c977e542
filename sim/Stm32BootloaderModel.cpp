#include "Stm32BootloaderModel.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace {
constexpr uint8_t kSync = 0x7F;
constexpr uint32_t kFlashBase = 0x08000000;
constexpr uint32_t kRamBase = 0x20000000;
constexpr uint32_t kRamSize = 0x10000;
constexpr uint32_t kHighDensityPage = 0x800;
constexpr uint32_t kHighDensityPages = 128;
constexpr uint32_t kF4SectorKb[] = {16, 16, 16, 16, 64, 128};

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint8_t Xor(const uint8_t* p, size_t n) {
  uint8_t x = 0;
  for (size_t i = 0; i < n; ++i) x ^= p[i];
  return x;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}
}  // namespace

Stm32BootloaderModel::Stm32BootloaderModel(Stm32Options options) : options_(std::move(options)) {
  flash_.assign(FlashSize(), 0xFF);
  ResetOptionBytes();
}

void Stm32BootloaderModel::OnBytes(const uint8_t* data, size_t size, const SendFunction& send) {
  std::vector<Answer> answers;
  {
    std::lock_guard lock(mutex_);
    if (options_.silent) return;
    pending_.insert(pending_.end(), data, data + size);
    Process(answers);
    if (options_.noise) {
      for (Answer& answer : answers)
        for (uint8_t& byte : answer.bytes) byte ^= 0xA5;
    }
  }
  for (const Answer& answer : answers) {
    if (answer.delay.count() > 0) std::this_thread::sleep_for(answer.delay);
    if (!answer.bytes.empty() && send) send(answer.bytes.data(), answer.bytes.size());
  }
}

void Stm32BootloaderModel::Reset() {
  std::lock_guard lock(mutex_);
  state_ = State::Unsynced;
  pending_.clear();
}

void Stm32BootloaderModel::SetSilent(bool silent) {
  std::lock_guard lock(mutex_);
  options_.silent = silent;
  pending_.clear();
}

void Stm32BootloaderModel::SetNackCommand(std::optional<uint8_t> code) {
  std::lock_guard lock(mutex_);
  options_.nackCommand = code;
}

void Stm32BootloaderModel::SetNoise(bool noise) {
  std::lock_guard lock(mutex_);
  options_.noise = noise;
}

std::vector<uint8_t> Stm32BootloaderModel::Flash() const {
  std::lock_guard lock(mutex_);
  return flash_;
}

uint32_t Stm32BootloaderModel::FlashSize() const {
  if (options_.chip == Stm32Chip::HighDensity) return kHighDensityPage * kHighDensityPages;
  uint32_t total = 0;
  for (uint32_t kb : kF4SectorKb) total += kb * 1024;
  return total;
}

uint16_t Stm32BootloaderModel::ProductId() const {
  if (options_.productId) return *options_.productId;
  return options_.chip == Stm32Chip::HighDensity ? 0x414 : 0x423;
}

uint32_t Stm32BootloaderModel::OptionBase() const {
  const uint16_t pid = ProductId();
  if (options_.chip == Stm32Chip::F4 || pid == 0x411 || pid == 0x413) return 0x1FFFC000;
  if (pid == 0x416 || pid == 0x436) return 0x1FF80000;
  return 0x1FFFF800;
}

std::array<uint8_t, 16> Stm32BootloaderModel::OptionBytes() const {
  std::lock_guard lock(mutex_);
  return options16_;
}

bool Stm32BootloaderModel::ReadProtected() const {
  std::lock_guard lock(mutex_);
  return RdpActive();
}

bool Stm32BootloaderModel::RdpActive() const {
  const uint8_t rdp = options16_[RdpPosition()];
  return OptionBase() == 0x1FFFF800 ? rdp != 0xA5 : rdp != 0xAA;
}

bool Stm32BootloaderModel::Synchronised() const {
  std::lock_guard lock(mutex_);
  return state_ != State::Unsynced && state_ != State::Running;
}

bool Stm32BootloaderModel::ProgramStarted() const {
  std::lock_guard lock(mutex_);
  return state_ == State::Running;
}

std::optional<uint32_t> Stm32BootloaderModel::StartedAt() const {
  std::lock_guard lock(mutex_);
  return startedAt_;
}

std::vector<Stm32Command> Stm32BootloaderModel::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

void Stm32BootloaderModel::ClearCommands() {
  std::lock_guard lock(mutex_);
  commands_.clear();
}

void Stm32BootloaderModel::Program(uint32_t address, const std::vector<uint8_t>& bytes) {
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint32_t offset = address - kFlashBase + uint32_t(i);
    if (offset < flash_.size()) flash_[offset] &= bytes[i];
  }
}

// ---- option bytes ---------------------------------------------------------

int Stm32BootloaderModel::RdpPosition() const {
  return OptionBase() == 0x1FFFC000 ? 1 : 0;
}

std::array<int, 4> Stm32BootloaderModel::WrpPositions() const {
  switch (OptionBase()) {
    case 0x1FFFC000:
      return {8, 9, -1, -1};
    case 0x1FF80000:
      return {8, 9, 12, 13};
    default:
      return {8, 10, 12, 14};
  }
}

uint32_t Stm32BootloaderModel::WrpWord() const {
  uint32_t word = 0;
  const auto positions = WrpPositions();
  for (int i = 0; i < 4; ++i) {
    const uint8_t byte = positions[i] < 0 ? 0xFF : options16_[positions[i]];
    word |= uint32_t(byte) << (8 * i);
  }
  return word;
}

void Stm32BootloaderModel::SetWrpWord(uint32_t word) {
  const auto positions = WrpPositions();
  const int complementOffset = OptionBase() == 0x1FF80000 ? 2 : 1;
  for (int i = 0; i < 4; ++i) {
    if (positions[i] < 0) continue;
    const uint8_t byte = uint8_t(word >> (8 * i));
    options16_[positions[i]] = byte;
    if (OptionBase() != 0x1FFFC000) options16_[positions[i] + complementOffset] = uint8_t(~byte);
  }
}

void Stm32BootloaderModel::ResetOptionBytes() {
  switch (OptionBase()) {
    case 0x1FFFC000:
      options16_.fill(0xFF);
      options16_[0] = 0xEF;
      options16_[1] = 0xAA;
      break;
    case 0x1FF80000:
      options16_ = {0xAA, 0x00, 0x55, 0x00, 0xFF, 0x00, 0x00, 0x00,
                    0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00};
      break;
    default:
      options16_ = {0xA5, 0x5A, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00,
                    0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00};
      break;
  }
}

void Stm32BootloaderModel::SetReadProtection(bool on) {
  switch (OptionBase()) {
    case 0x1FFFC000:
      options16_[1] = on ? 0x55 : 0xAA;
      break;
    case 0x1FF80000:
      options16_[0] = on ? 0x00 : 0xAA;
      options16_[2] = uint8_t(~options16_[0]);
      break;
    default:
      options16_[0] = on ? 0x00 : 0xA5;
      options16_[1] = uint8_t(~options16_[0]);
      break;
  }
}

void Stm32BootloaderModel::SetWriteProtection(const std::vector<uint16_t>& codes) {
  uint32_t word = WrpWord();
  for (uint16_t code : codes)
    if (code < 32) word &= ~(1u << code);
  SetWrpWord(word);
}

void Stm32BootloaderModel::ClearWriteProtection() {
  SetWrpWord(0xFFFFFFFF);
}

// ---- flash layout ---------------------------------------------------------

uint32_t Stm32BootloaderModel::PageCount() const {
  return options_.chip == Stm32Chip::HighDensity ? kHighDensityPages : std::size(kF4SectorKb);
}

std::pair<uint32_t, uint32_t> Stm32BootloaderModel::PageRange(uint32_t page) const {
  if (options_.chip == Stm32Chip::HighDensity) return {page * kHighDensityPage, kHighDensityPage};
  uint32_t offset = 0;
  for (uint32_t i = 0; i < page; ++i) offset += kF4SectorKb[i] * 1024;
  return {offset, kF4SectorKb[page] * 1024};
}

uint32_t Stm32BootloaderModel::PageOf(uint32_t address) const {
  const uint32_t offset = address - kFlashBase;
  for (uint32_t page = 0; page < PageCount(); ++page) {
    const auto [start, size] = PageRange(page);
    if (offset >= start && offset < start + size) return page;
  }
  return PageCount();
}

bool Stm32BootloaderModel::PageProtected(uint32_t page) const {
  // High density: one protection bit per two pages, the last bit covers the rest.
  const uint32_t bit =
      options_.chip == Stm32Chip::HighDensity ? std::min<uint32_t>(page / 2, 31) : page;
  return bit < 32 && !(WrpWord() & (1u << bit));
}

bool Stm32BootloaderModel::InFlash(uint32_t address, uint32_t size) const {
  return address >= kFlashBase && uint64_t(address) + size <= uint64_t(kFlashBase) + flash_.size();
}

bool Stm32BootloaderModel::InOptions(uint32_t address, uint32_t size) const {
  return address >= OptionBase() && uint64_t(address) + size <= uint64_t(OptionBase()) + 16;
}

void Stm32BootloaderModel::ErasePage(uint32_t page) {
  const auto [start, size] = PageRange(page);
  std::fill(flash_.begin() + start, flash_.begin() + start + size, 0xFF);
}

void Stm32BootloaderModel::MassErase() {
  std::fill(flash_.begin(), flash_.end(), 0xFF);
}

bool Stm32BootloaderModel::Supported(uint8_t code) const {
  static constexpr uint8_t kCommon[] = {0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x63, 0x73, 0x82, 0x92};
  if (std::find(std::begin(kCommon), std::end(kCommon), code) != std::end(kCommon)) return true;
  if (!Classic()) return code == 0x43 || code == 0x71 || code == 0x91;
  return code == (options_.chip == Stm32Chip::HighDensity ? 0x43 : 0x44);
}

// ---- protocol -------------------------------------------------------------

void Stm32BootloaderModel::Trace(const std::string& line) const {
  if (options_.log) options_.log(line);
}

void Stm32BootloaderModel::Emit(std::vector<Answer>& out, std::vector<uint8_t> bytes) {
  out.push_back({std::chrono::milliseconds(0), std::move(bytes)});
}

void Stm32BootloaderModel::Ack(std::vector<Answer>& out, std::chrono::milliseconds delay) {
  out.push_back({delay, {options_.ackByte}});
}

void Stm32BootloaderModel::Nack(std::vector<Answer>& out) {
  Emit(out, {Nak()});
}

void Stm32BootloaderModel::Finish(bool acknowledged) {
  current_.acknowledged = acknowledged;
  commands_.push_back(current_);
  current_ = {};
  if (state_ != State::Unsynced && state_ != State::Running) state_ = State::Idle;
}

void Stm32BootloaderModel::Process(std::vector<Answer>& out) {
  while (Step(out)) {
  }
}

bool Stm32BootloaderModel::StartCommand(uint8_t code, std::vector<Answer>& out) {
  current_ = {};
  current_.code = code;
  const bool allowedWhenProtected = code <= 0x02 || code == 0x92 || code == 0x91;
  if (!Supported(code) || options_.nackCommand == code || (RdpActive() && !allowedWhenProtected)) {
    Nack(out);
    Finish(false);
    return true;
  }
  auto ack = [&] { Ack(out); };
  switch (code) {
    case 0x00: {
      static constexpr uint8_t kBase[] = {0x00, 0x01, 0x02, 0x11, 0x21, 0x31};
      std::vector<uint8_t> list(std::begin(kBase), std::end(kBase));
      for (uint8_t extra : {0x43, 0x44, 0x63, 0x71, 0x73, 0x82, 0x91, 0x92})
        if (Supported(extra)) list.push_back(extra);
      std::vector<uint8_t> answer = {
          options_.ackByte, uint8_t(list.size()),
          uint8_t(options_.chip == Stm32Chip::HighDensity ? 0x22 : 0x31)};
      answer.insert(answer.end(), list.begin(), list.end());
      answer.push_back(options_.ackByte);
      Emit(out, std::move(answer));
      Finish(true);
      return true;
    }
    case 0x01: {
      std::vector<uint8_t> answer;
      if (Classic()) answer.push_back(options_.ackByte);
      const uint8_t version = options_.chip == Stm32Chip::HighDensity ? 0x22 : 0x31;
      answer.insert(answer.end(), {version, 0x00, 0x00, options_.ackByte});
      Emit(out, std::move(answer));
      Finish(true);
      return true;
    }
    case 0x02: {
      const uint16_t pid = ProductId();
      Emit(out, {options_.ackByte, 0x01, uint8_t(pid >> 8), uint8_t(pid), options_.ackByte});
      Finish(true);
      return true;
    }
    case 0x11:
      ack();
      state_ = State::ReadAddress;
      return true;
    case 0x21:
      ack();
      state_ = State::GoAddress;
      return true;
    case 0x31:
      ack();
      state_ = State::WriteAddress;
      return true;
    case 0x43:
      ack();
      state_ = State::Erase;
      return true;
    case 0x44:
      ack();
      state_ = State::ExtendedErase;
      return true;
    case 0x63:
      ack();
      state_ = State::WriteProtect;
      return true;
    case 0x71:
    case 0x73:
      ack();
      ClearWriteProtection();
      Trace("write protection removed");
      Ack(out, options_.eraseTime);
      Finish(true);
      state_ = State::Unsynced;
      return true;
    case 0x82:
      ack();
      SetReadProtection(true);
      Trace("read protection set");
      Ack(out, options_.writeTime);
      Finish(true);
      state_ = State::Unsynced;
      return true;
    case 0x91:
    case 0x92:
      ack();
      MassErase();
      SetReadProtection(false);
      Trace("read protection removed, flash erased");
      Ack(out, options_.eraseTime);
      Finish(true);
      state_ = State::Unsynced;
      return true;
  }
  Nack(out);
  Finish(false);
  return true;
}

bool Stm32BootloaderModel::Step(std::vector<Answer>& out) {
  if (pending_.empty()) return false;
  const size_t addressFrame = Classic() ? 5 : 4;
  // Reads an address frame; false (after a NACK) when its checksum is wrong.
  auto takeAddress = [&](uint32_t& address) {
    address = BigEndian32(pending_.data());
    const bool good = !Classic() || Xor(pending_.data(), 4) == pending_[4];
    pending_.erase(pending_.begin(), pending_.begin() + addressFrame);
    return good;
  };
  auto refuse = [&] {
    Nack(out);
    Finish(false);
    return true;
  };

  switch (state_) {
    case State::Running:
      pending_.clear();
      return false;

    case State::Unsynced: {
      const auto sync = std::find(pending_.begin(), pending_.end(), kSync);
      if (sync == pending_.end()) {
        pending_.clear();
        return false;
      }
      pending_.erase(pending_.begin(), sync + 1);
      if (options_.zeroBeforeSyncAck) Emit(out, {0x00});
      Ack(out);
      state_ = State::Idle;
      Trace("synchronised");
      return true;
    }

    case State::Idle: {
      // A bootloader that is already synchronised refuses another sync byte.
      if (pending_.size() == 1 && pending_[0] == kSync) {
        pending_.clear();
        Nack(out);
        return false;
      }
      if (Classic()) {
        if (pending_.size() < 2) return false;
        const uint8_t code = pending_[0], complement = pending_[1];
        pending_.erase(pending_.begin(), pending_.begin() + 2);
        if (uint8_t(code ^ complement) != 0xFF) {
          Nack(out);
          return true;
        }
        return StartCommand(code, out);
      }
      const uint8_t code = pending_[0];
      pending_.erase(pending_.begin());
      return StartCommand(code, out);
    }

    case State::ReadAddress:
    case State::WriteAddress:
    case State::GoAddress: {
      if (pending_.size() < addressFrame) return false;
      uint32_t address = 0;
      if (!takeAddress(address)) return refuse();
      current_.address = address;
      const bool valid =
          state_ == State::GoAddress
              ? InFlash(address, 1) || (address >= kRamBase && address < kRamBase + kRamSize)
              : InFlash(address, 1) || InOptions(address, 1);
      if (!valid) return refuse();
      Ack(out);
      if (state_ == State::GoAddress) {
        startedAt_ = address;
        Trace("go " + Hex(address));
        Finish(true);
        state_ = State::Running;
        return true;
      }
      state_ = state_ == State::ReadAddress ? State::ReadLength : State::WriteData;
      return true;
    }

    case State::ReadLength: {
      const size_t frame = Classic() ? 2 : 1;
      if (pending_.size() < frame) return false;
      const uint8_t n = pending_[0];
      const bool good = !Classic() || uint8_t(n ^ pending_[1]) == 0xFF;
      pending_.erase(pending_.begin(), pending_.begin() + frame);
      const uint32_t size = uint32_t(n) + 1;
      current_.count = size;
      const uint32_t address = current_.address;
      if (!good || !(InFlash(address, size) || InOptions(address, size))) return refuse();
      if (Classic()) Ack(out);
      const uint8_t* source = InFlash(address, size) ? flash_.data() + (address - kFlashBase)
                                                     : options16_.data() + (address - OptionBase());
      Emit(out, std::vector<uint8_t>(source, source + size));
      Finish(true);
      return true;
    }

    case State::WriteData: {
      const uint32_t size = uint32_t(pending_[0]) + 1;
      const size_t frame = 1 + size + (Classic() ? 1 : 0);
      if (pending_.size() < frame) return false;
      const bool good = !Classic() || Xor(pending_.data(), 1 + size) == pending_[1 + size];
      std::vector<uint8_t> data(pending_.begin() + 1, pending_.begin() + 1 + size);
      pending_.erase(pending_.begin(), pending_.begin() + frame);
      const uint32_t address = current_.address;
      current_.count = size;
      if (!good) return refuse();
      if (InOptions(address, size)) {
        std::copy(data.begin(), data.end(), options16_.begin() + (address - OptionBase()));
        Trace("option bytes written");
        Ack(out, options_.writeTime);
        Finish(true);
        state_ = State::Unsynced;  // the chip resets to load them
        return true;
      }
      if (!InFlash(address, size)) return refuse();
      for (uint32_t page = PageOf(address); page <= PageOf(address + size - 1); ++page)
        if (PageProtected(page)) return refuse();
      for (uint32_t i = 0; i < size; ++i) flash_[address - kFlashBase + i] &= data[i];
      Ack(out, options_.writeTime);
      Finish(true);
      return true;
    }

    case State::Erase: {
      if (pending_[0] == 0xFF) {
        const size_t frame = Classic() ? 2 : 1;
        if (pending_.size() < frame) return false;
        const bool good = !Classic() || pending_[1] == 0x00;
        pending_.erase(pending_.begin(), pending_.begin() + frame);
        current_.count = 0xFFFF;
        if (!good || WrpWord() != 0xFFFFFFFF) return refuse();
        MassErase();
        Trace("mass erase");
        Ack(out, options_.eraseTime);
        Finish(true);
        return true;
      }
      // Page codes carry a checksum only in the 0x79 dialect.
      const size_t count = size_t(pending_[0]) + 1;
      const size_t frame = 1 + count + (Classic() ? 1 : 0);
      if (pending_.size() < frame) return false;
      const bool good = !Classic() || Xor(pending_.data(), count + 1) == pending_[count + 1];
      std::vector<uint16_t> codes(pending_.begin() + 1, pending_.begin() + 1 + count);
      pending_.erase(pending_.begin(), pending_.begin() + frame);
      current_.count = uint32_t(count);
      current_.codes = codes;
      if (!good) return refuse();
      for (uint16_t code : codes)
        if (code >= PageCount() || PageProtected(code)) return refuse();
      for (uint16_t code : codes) ErasePage(code);
      Trace("erased " + std::to_string(count) + " pages");
      Ack(out, options_.eraseTime);
      Finish(true);
      return true;
    }

    case State::ExtendedErase: {
      if (pending_.size() < 2) return false;
      const uint16_t head = uint16_t((pending_[0] << 8) | pending_[1]);
      if ((head >> 8) == 0xFF) {
        if (pending_.size() < 3) return false;
        const bool good = Xor(pending_.data(), 2) == pending_[2];
        pending_.erase(pending_.begin(), pending_.begin() + 3);
        current_.count = head;
        if (!good || head < 0xFFFD || WrpWord() != 0xFFFFFFFF) return refuse();
        MassErase();
        Trace("mass erase");
        Ack(out, options_.eraseTime);
        Finish(true);
        return true;
      }
      const size_t count = size_t(head) + 1;
      const size_t frame = 2 + 2 * count + 1;
      if (pending_.size() < frame) return false;
      const bool good = Xor(pending_.data(), frame - 1) == pending_[frame - 1];
      std::vector<uint16_t> codes;
      for (size_t i = 0; i < count; ++i)
        codes.push_back(uint16_t((pending_[2 + 2 * i] << 8) | pending_[3 + 2 * i]));
      pending_.erase(pending_.begin(), pending_.begin() + frame);
      current_.count = uint32_t(count);
      current_.codes = codes;
      if (!good) return refuse();
      for (uint16_t code : codes)
        if (code >= PageCount() || PageProtected(code)) return refuse();
      for (uint16_t code : codes) ErasePage(code);
      Trace("erased " + std::to_string(count) + " sectors");
      Ack(out, options_.eraseTime);
      Finish(true);
      return true;
    }

    case State::WriteProtect: {
      const size_t count = size_t(pending_[0]) + 1;
      if (pending_.size() < count + 2) return false;
      const bool good = Xor(pending_.data(), count + 1) == pending_[count + 1];
      std::vector<uint16_t> codes(pending_.begin() + 1, pending_.begin() + 1 + count);
      pending_.erase(pending_.begin(), pending_.begin() + count + 2);
      current_.count = uint32_t(count);
      current_.codes = codes;
      if (!good) return refuse();
      SetWriteProtection(codes);
      Trace("write protection set");
      Ack(out, options_.writeTime);
      Finish(true);
      state_ = State::Unsynced;
      return true;
    }
  }
  return false;
}
