#include "serial/SerialCommunication.h"

#include <string_view>

#include "base/JobConsole.h"
#include "base/WakeUp.h"
#include "serial/PortEnumeration.h"
#include "serial/PortNames.h"

namespace pellux {

namespace {
// A write that makes no progress for this long fails: the other end has
// stopped reading (dialogs write outside any job, so cancellation alone
// cannot end such a wait).
constexpr int kWriteStallMs = 5000;
constexpr size_t kReceiveChunk = 1024;
}  // namespace

SerialCommunication::SerialCommunication(const CancelToken& cancel) : cancel_(cancel) {}

SerialCommunication::~SerialCommunication() {
  Close();
}

void SerialCommunication::Configure(const SerialSettings& settings) {
  std::lock_guard lock(stateMutex_);
  settings_ = settings;
}

// What the reader thread needs beyond the object: shared, so that a reader
// that was let go by a Close from inside OnReceive never sees them freed.
struct SerialCommunication::ReaderControl {
  WakeUp wake;
  std::atomic<bool> stop{false};
};

bool SerialCommunication::Open() {
  if (IsOpen() || port_.IsOpen()) Close();
  SerialSettings settings;
  {
    std::lock_guard lock(stateMutex_);
    settings = settings_;
  }
  // 1 and 2 are what they say; anything else asks for one and a half, which
  // POSIX does not have: two is the nearest.
  const PortLine line{settings.baudRate, settings.dataBits, settings.parity,
                      settings.stopBits != 1};
  std::string path;
  std::string failure;
  auto control = std::make_shared<ReaderControl>();
  const PortOpenResult opened = port_.Open(settings.portName, line, path, failure);
  if (opened != PortOpenResult::Opened || control->wake.NativeHandle() < 0) {
    port_.Close();
    std::lock_guard lock(stateMutex_);
    openFailure_ = opened == PortOpenResult::OpenFailed
                       ? failure
                       : "Port " + settings.portName + " (" + path +
                             "): the line settings were refused (" +
                             std::to_string(settings.baudRate) + " bit/s).";
    return false;
  }
  // Bytes that reached the line before this open (a device's last answer to
  // the previous program) are not ours.
  port_.DiscardInput();
  {
    std::lock_guard lock(stateMutex_);
    devicePath_ = path;
  }
  lineLost_.store(false, std::memory_order_release);
  control_ = control;
  stopRequested_.store(false, std::memory_order_release);
  // The reader waits for this lock before its first OnReceive, so a Close
  // from inside OnReceive (bytes already waiting on the line) finds reader_
  // assigned and the port marked open, and its "closed" is not overwritten.
  std::lock_guard lock(stateMutex_);
  reader_ = std::thread([this, control] {
    { std::lock_guard opened(stateMutex_); }
    ReaderLoop(control);
  });
  isOpen_ = true;
  return true;
}

void SerialCommunication::StopReader(int /*timeoutMs*/) {
  if (!reader_.joinable()) return;
  stopRequested_.store(true, std::memory_order_release);
  if (control_) {
    control_->stop.store(true, std::memory_order_release);
    control_->wake.Signal();
  }
  if (reader_.get_id() == std::this_thread::get_id()) {
    // Closed from inside OnReceive: the loop ends as soon as that returns,
    // touching only its shared control block.
    reader_.detach();
  } else {
    reader_.join();
  }
  control_.reset();
}

bool SerialCommunication::Close() {
  StopReader(100);
  const bool wasOpen = port_.IsOpen();
  port_.Close();
  // Last, so that whoever sees the port closed also sees the descriptor gone.
  std::lock_guard lock(stateMutex_);
  isOpen_ = false;
  return wasOpen;
}

std::string SerialCommunication::PortDescription() const {
  std::lock_guard lock(stateMutex_);
  const std::string path = devicePath_.empty() ? ResolvePortName(settings_.portName) : devicePath_;
  return path.empty() ? settings_.portName : settings_.portName + " (" + path + ")";
}

bool SerialCommunication::IsOpen() const {
  std::lock_guard lock(stateMutex_);
  return isOpen_;
}

bool SerialCommunication::Write(const void* buffer, size_t length, size_t* written) {
  size_t local = 0;
  size_t& done = written != nullptr ? *written : local;
  done = 0;
  if (!port_.IsOpen() || (buffer == nullptr && length > 0)) return false;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  while (done < length) {
    const long n = port_.WriteNow(bytes + done, length - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0) return false;
    if (port_.WaitWritable(kWriteStallMs, cancel_) != PortWaitResult::Ready) {
      return false;
    }
  }
  return true;
}

bool SerialCommunication::WriteByte(uint8_t byte) {
  return Write(&byte, 1);
}

bool SerialCommunication::Read(void* buffer, size_t max, size_t* count) {
  size_t local = 0;
  size_t& got = count != nullptr ? *count : local;
  got = 0;
  if (!port_.IsOpen() || (buffer == nullptr && max > 0)) return false;
  const long n = port_.ReadNow(buffer, max);
  if (n < 0) return false;
  got = static_cast<size_t>(n);
  return true;
}

bool SerialCommunication::SetBaudRate(int baud) {
  if (port_.SetBaudRate(baud)) {
    std::lock_guard lock(stateMutex_);
    settings_.baudRate = baud;
    return true;
  }
  Close();
  return false;
}

void SerialCommunication::OnReceive() {
  char chunk[kReceiveChunk];
  size_t count = 0;
  while (!StopRequested() && Read(chunk, sizeof chunk, &count) && count > 0) {
    ConsoleWrite(std::string_view(chunk, count));
  }
}

void SerialCommunication::ReaderLoop(std::shared_ptr<ReaderControl> control) {
  const auto stopped = [&] { return control->stop.load(std::memory_order_acquire); };
  while (!stopped()) {
    const PortInput input = port_.WaitForInput(control->wake);
    if (input == PortInput::Woken || input == PortInput::Failed || stopped()) break;
    if (input == PortInput::LineGone) {
      lineLost_.store(true, std::memory_order_release);
      OnLineLost();
      // Sleep until Close instead of spinning on a dead line.
      while (!stopped()) control->wake.Wait(-1);
      break;
    }
    OnReceive();
  }
}

std::vector<std::string> SerialCommunication::EnumeratePorts() {
  return EnumerateSystemPorts();
}

std::string SerialCommunication::OpenFailure() const {
  std::lock_guard lock(stateMutex_);
  return openFailure_;
}

}  // namespace pellux
