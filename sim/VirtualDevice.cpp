#include "VirtualDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace {
// Line time of one byte: start bit, eight data bits, stop bit.
constexpr long kBitsPerByte = 10;

void Drain(int fd) {
  char bytes[64];
  while (::read(fd, bytes, sizeof bytes) > 0) {
  }
}
}  // namespace

VirtualDevice::VirtualDevice(std::string name)
    : name_(std::move(name)), pty_(std::make_unique<PtyPair>()) {
  const int master = pty_->MasterFd();
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
}

VirtualDevice::~VirtualDevice() {
  Stop();
}

void VirtualDevice::Start() {
  std::lock_guard lock(startStopMutex_);
  if (thread_.joinable()) return;
  if (::pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error("virtual device: no pipe for " + name_);
  }
  stopping_ = false;
  {
    std::lock_guard state(mutex_);
    loopDone_ = false;
  }
  thread_ = std::thread([this] { Loop(); });
}

void VirtualDevice::Stop() {
  if (OnDeviceThread()) {
    // Cannot join itself: ask the loop to end; the owner's Stop joins it.
    stopping_ = true;
    changed_.notify_all();
    return;
  }
  std::lock_guard lock(startStopMutex_);
  if (!thread_.joinable()) return;
  {
    std::lock_guard state(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  const char byte = 's';
  [[maybe_unused]] ssize_t n = ::write(stopPipe_[1], &byte, 1);
  thread_.join();
  for (int& fd : stopPipe_) {
    ::close(fd);
    fd = -1;
  }
}

void VirtualDevice::SetExpectedBaud(int baud) {
  expectedBaud_ = baud;
}
void VirtualDevice::SetPacing(bool realLineRate) {
  pacing_ = realLineRate;
}
void VirtualDevice::SetSilent(bool silent) {
  silent_ = silent;
}
void VirtualDevice::SetDropEveryNth(int n) {
  dropEvery_ = n < 0 ? 0 : n;
}
void VirtualDevice::SetCorruptEveryNth(int n) {
  corruptEvery_ = n < 0 ? 0 : n;
}
void VirtualDevice::SetNoise(bool on) {
  noise_ = on;
}

void VirtualDevice::HangUp() {
  hungUp_ = true;
  Log("line hung up");
  std::unique_lock startStop(startStopMutex_, std::defer_lock);
  if (!OnDeviceThread()) startStop.lock();
  if (OnDeviceThread() || !thread_.joinable()) {
    CloseLine();
    return;
  }
  // The loop polls the master: let it close the descriptor itself, so that
  // it never polls a number the system has handed out again.
  const char byte = 'h';
  [[maybe_unused]] ssize_t n = ::write(stopPipe_[1], &byte, 1);
  bool closedByLoop = false;
  {
    std::unique_lock state(mutex_);
    changed_.wait(state, [this] { return lineClosed_ || loopDone_; });
    closedByLoop = lineClosed_;
  }
  if (!closedByLoop) CloseLine();  // the loop had already ended on its own
}

void VirtualDevice::CloseLine() {
  {
    std::lock_guard send(sendMutex_);
    pty_->HangUp();
  }
  {
    std::lock_guard state(mutex_);
    lineClosed_ = true;
  }
  changed_.notify_all();
}

std::vector<uint8_t> VirtualDevice::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

void VirtualDevice::ClearReceived() {
  std::lock_guard lock(mutex_);
  received_.clear();
}

void VirtualDevice::SetLogger(std::function<void(const std::string&)> logger) {
  std::lock_guard lock(mutex_);
  logger_ = std::move(logger);
}

void VirtualDevice::Log(const std::string& line) {
  std::function<void(const std::string&)> logger;
  {
    std::lock_guard lock(mutex_);
    logger = logger_;
  }
  if (logger) logger(name_ + ": " + line);
}

void VirtualDevice::Send(const std::string& text) {
  Send(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void VirtualDevice::Send(const uint8_t* data, size_t size) {
  if (silent_ || size == 0) return;
  std::lock_guard send(sendMutex_);
  if (pty_->MasterFd() < 0) return;
  const std::vector<uint8_t> line = ApplyFaults(data, size);
  if (!pacing_) {
    WriteToLine(line.data(), line.size());
    return;
  }
  int baud = pty_->LineBaudRate();
  if (baud <= 0) baud = expectedBaud_ > 0 ? expectedBaud_.load() : 9600;
  const auto byteTime = std::chrono::microseconds(kBitsPerByte * 1000000L / baud);
  auto due = std::chrono::steady_clock::now();
  for (uint8_t byte : line) {
    if (hungUp_ || !WriteToLine(&byte, 1)) return;
    due += byteTime;
    std::unique_lock state(mutex_);
    if (changed_.wait_until(state, due, [this] { return stopping_.load(); })) return;
  }
}

void VirtualDevice::PaceReceived(size_t bytes) {
  if (!pacing_ || bytes == 0) return;
  int baud = pty_->LineBaudRate();
  if (baud <= 0) baud = expectedBaud_ > 0 ? expectedBaud_.load() : 9600;
  const auto lineTime =
      std::chrono::microseconds(kBitsPerByte * 1000000L * static_cast<long>(bytes) / baud);
  std::unique_lock state(mutex_);
  changed_.wait_for(state, lineTime, [this] { return stopping_.load(); });
}

std::vector<uint8_t> VirtualDevice::ApplyFaults(const uint8_t* data, size_t size) {
  const int expected = expectedBaud_;
  const bool wrongBaud = expected != 0 && pty_->LineBaudRate() != expected;
  const int drop = dropEvery_;
  const int corrupt = corruptEvery_;
  std::vector<uint8_t> line;
  line.reserve(size);
  for (size_t i = 0; i < size; ++i) {
    ++sentCount_;
    if (drop > 0 && sentCount_ % static_cast<size_t>(drop) == 0) continue;
    uint8_t byte = data[i];
    if (corrupt > 0 && sentCount_ % static_cast<size_t>(corrupt) == 0) byte ^= 0x01;
    if (noise_ || wrongBaud) byte = Garble(byte);
    line.push_back(byte);
  }
  return line;
}

uint8_t VirtualDevice::Garble(uint8_t byte) {
  // xorshift32: varied garbage that never equals the byte meant.
  garbleState_ ^= garbleState_ << 13;
  garbleState_ ^= garbleState_ >> 17;
  garbleState_ ^= garbleState_ << 5;
  return static_cast<uint8_t>(byte ^ (1 + garbleState_ % 255));
}

bool VirtualDevice::WriteToLine(const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const int master = pty_->MasterFd();
    if (master < 0 || stopping_ || hungUp_) return false;
    const ssize_t n = ::write(master, data + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    // The program is not reading: wait in slices so that Stop ends this.
    pollfd out{master, POLLOUT, 0};
    ::poll(&out, 1, 100);
  }
  return true;
}

void VirtualDevice::Deliver(const uint8_t* data, size_t size) {
  const int expected = expectedBaud_;
  const int line = pty_->LineBaudRate();
  if (expected != 0 && line != expected) {
    Log("noise: " + std::to_string(size) + " bytes at " + std::to_string(line) + " bit/s");
    OnNoise(size);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    received_.insert(received_.end(), data, data + size);
  }
  OnReceived(data, size);
}

void VirtualDevice::Loop() {
  loopThread_ = std::this_thread::get_id();
  uint8_t buffer[4096];
  bool lineQuiet = false;  // the master reported a hang-up: wait for the stop pipe only
  while (!stopping_) {
    if (hungUp_ && pty_->MasterFd() >= 0) CloseLine();
    const int master = pty_->MasterFd();
    const bool watchLine = master >= 0 && !lineQuiet;
    pollfd fds[2] = {{stopPipe_[0], POLLIN, 0}, {master, POLLIN, 0}};
    if (::poll(fds, watchLine ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents != 0) {
      Drain(stopPipe_[0]);
      continue;
    }
    if (!watchLine) continue;
    if (fds[1].revents & POLLIN) {
      const ssize_t n = ::read(master, buffer, sizeof buffer);
      if (n > 0) {
        Deliver(buffer, static_cast<size_t>(n));
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    }
    if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL | POLLIN)) lineQuiet = true;
  }
  if (hungUp_ && pty_->MasterFd() >= 0) CloseLine();
  loopThread_ = std::thread::id();
  {
    std::lock_guard state(mutex_);
    loopDone_ = true;
  }
  changed_.notify_all();
}
