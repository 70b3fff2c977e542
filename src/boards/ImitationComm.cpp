#include "boards/ImitationComm.h"

#include <fstream>
#include <iterator>

#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "serial/LineMessages.h"

namespace pellux {

namespace {

constexpr uint8_t kMasterRecord = 1;
constexpr uint8_t kSlaveRecord = 2;
constexpr int kPauseUnitMs = 10;

std::string RecordList(const std::vector<size_t>& records) {
  std::string list;
  for (const size_t number : records) {
    if (!list.empty()) list += ", ";
    list += std::to_string(number);
  }
  return list;
}

}  // namespace

ImitationComm::ImitationComm(const CancelToken& cancel, JobConsole& console)
    : SerialCommunication(cancel), console_(console) {}

ImitationComm::~ImitationComm() {
  Close();
}

ImitationComm::LoadResult ImitationComm::LoadRecordFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return LoadResult::OpenFailed;
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());

  std::lock_guard hold(lock_);
  masterRecords_.clear();
  slaveRecords_.clear();
  std::vector<size_t> oddRecords, emptyRecords;  // 1-based numbers in the file
  size_t recordNumber = 0;
  int state = 0;
  uint8_t type = 0;
  size_t length = 0;
  std::vector<uint8_t> data;
  auto finishRecord = [&] {
    if (type != kMasterRecord && type != kSlaveRecord) return;
    if (data.empty()) emptyRecords.push_back(recordNumber);
    if (data.size() % 2 != 0) oddRecords.push_back(recordNumber);
    (type == kMasterRecord ? masterRecords_ : slaveRecords_).push_back(std::move(data));
  };
  for (const uint8_t byte : bytes) {
    switch (state) {
      case 0:
        type = byte;
        data.clear();
        ++recordNumber;
        state = 1;
        break;
      case 1:
        length = static_cast<size_t>(byte) << 8;
        state = 2;
        break;
      case 2:
        length |= byte;
        if (length == 0) {
          finishRecord();
          state = 0;
        } else {
          state = 3;
        }
        break;
      case 3:
        data.push_back(byte);
        if (data.size() == length) {
          finishRecord();
          state = 0;
        }
        break;
    }
  }

  nextMaster_ = 0;
  currentSlave_ = 0;
  slaveCursor_ = 0;
  masterDone_ = false;
  slaveDone_ = false;
  problem_ = FindProblem(oddRecords, emptyRecords);
  return problem_.empty() ? LoadResult::Loaded : LoadResult::Unplayable;
}

std::string ImitationComm::FindProblem(const std::vector<size_t>& oddRecords,
                                       const std::vector<size_t>& emptyRecords) const {
  if (masterRecords_.empty()) return "it holds no master record";
  if (slaveRecords_.empty()) return "it holds no slave record";
  if (!emptyRecords.empty()) return "record " + RecordList(emptyRecords) + " holds no data";
  if (!oddRecords.empty()) {
    return "record " + RecordList(oddRecords) + " holds an odd number of data bytes";
  }
  // A recording ends with the master's last message, or with the reply to it.
  if (masterRecords_.size() != slaveRecords_.size() + 1 &&
      masterRecords_.size() != slaveRecords_.size()) {
    return "it holds " + std::to_string(masterRecords_.size()) + " master and " +
           std::to_string(slaveRecords_.size()) +
           " slave records; a replay needs as many master records as slave records, or one more";
  }
  return {};
}

void ImitationComm::SendNextMaster() {
  std::lock_guard hold(lock_);
  if (masterDone_ || nextMaster_ >= masterRecords_.size()) {
    // A recording that ends with a reply is done once that reply is counted.
    if (masterDone_ && currentSlave_ >= slaveRecords_.size() && !slaveDone_) {
      slaveDone_ = true;
      progressed_.notify_all();
    }
    return;
  }
  const std::vector<uint8_t>& record = masterRecords_[nextMaster_++];

  // The whole record, pauses included, goes out under the lock, so replies
  // are only counted once it has been sent.
  console_.Write(" Send Master : ");
  for (size_t pair = 0; pair + 1 < record.size(); pair += 2) {
    if (!WriteByte(record[pair])) writeFailed_ = true;
    console_.Printf("0x%02X ", record[pair]);
    if (!Cancellation().SleepFor(std::chrono::milliseconds(record[pair + 1] * kPauseUnitMs))) {
      return;
    }
  }
  console_.Write("\r\n");

  ++progress_;
  if (nextMaster_ >= masterRecords_.size()) masterDone_ = true;
  if (currentSlave_ >= slaveRecords_.size()) {
    slaveDone_ = true;
  } else {
    slaveCursor_ = 0;
  }
  progressed_.notify_all();
}

bool ImitationComm::WaitUntilReplayed() {
  std::unique_lock hold(lock_);
  for (;;) {
    const size_t seen = progress_;
    // The time limit counts from the last byte or message: a long recording
    // may take as long as it needs while the drive keeps answering.
    const bool done = Cancellation().WaitFor(
        hold, progressed_, std::chrono::seconds(kAnswerTimeoutSeconds),
        [&] { return (masterDone_ && slaveDone_) || progress_ != seen || LineLost(); });
    const bool lost = LineLost() || writeFailed_;
    if (masterDone_ && slaveDone_ && !lost) return true;
    if (done && !lost) continue;
    if (Cancellation().IsCancelled()) return false;
    std::string awaited = "the drive's reply";
    if (currentSlave_ < slaveRecords_.size()) {
      awaited = "reply " + std::to_string(currentSlave_ + 1) + "/" +
                std::to_string(slaveRecords_.size()) + " (" + std::to_string(slaveCursor_) +
                " of " + std::to_string(slaveRecords_[currentSlave_].size() / 2) +
                " bytes arrived)";
    }
    hold.unlock();
    console_.Write("\r\n");
    console_.Write(lost ? LineHungUpMessage(PortDescription())
                        : NoAnswerMessage("the step drive", PortDescription(), awaited));
    return false;
  }
}

void ImitationComm::OnLineLost() {
  { std::lock_guard hold(lock_); }  // a waiter between its check and its sleep sees it
  progressed_.notify_all();
}

void ImitationComm::OnReceive() {
  uint8_t byte = 0;
  size_t count = 0;
  // Everything is read, so the reader sleeps again; only the number of bytes
  // matters, and bytes after the last reply are ignored.
  while (Read(&byte, 1, &count) && count == 1) {
    bool replyComplete = false;
    {
      std::lock_guard hold(lock_);
      if (currentSlave_ >= slaveRecords_.size()) continue;
      ++slaveCursor_;
      ++progress_;
      progressed_.notify_all();
      if (slaveCursor_ * 2 >= slaveRecords_[currentSlave_].size()) {
        ++currentSlave_;
        replyComplete = true;
      }
    }
    if (replyComplete) SendNextMaster();
  }
}

}  // namespace pellux
