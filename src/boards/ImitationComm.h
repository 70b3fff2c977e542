#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "serial/SerialCommunication.h"

namespace pellux {

class JobConsole;

// Replays a recorded serial exchange, playing the master's side: it sends a
// recorded master message, waits until the device has sent as many bytes as
// the recorded reply held, sends the next one, and so on. Record data are
// pairs (byte value, pause in 10 ms units); replies are counted, not compared.
class ImitationComm : public SerialCommunication {
 public:
  enum class LoadResult {
    Loaded,
    OpenFailed,
    // The recording cannot end a replay; Problem() says why.
    Unplayable,
  };

  // Waits and pauses observe `cancel`; the replay's lines go to `console`.
  ImitationComm(const CancelToken& cancel, JobConsole& console);
  ~ImitationComm() override;

  // Records: type byte (1 master, 2 slave, others dropped), big-endian
  // 16-bit data length, data. A trailing incomplete record is dropped.
  LoadResult LoadRecordFile(const std::string& path);
  // Why the loaded recording cannot be replayed (empty when it can).
  const std::string& Problem() const { return problem_; }

  // Sends the next master record with its pauses (nothing once all are sent).
  void SendNextMaster();
  // Sleeps until both sides of the recording are used up. False when
  // cancelled first, or when the drive sent nothing for a while or its
  // line went away (one line says which).
  bool WaitUntilReplayed();

  size_t MasterRecordCount() const { return masterRecords_.size(); }
  size_t SlaveRecordCount() const { return slaveRecords_.size(); }
  const std::vector<uint8_t>& MasterRecord(size_t i) const { return masterRecords_.at(i); }
  const std::vector<uint8_t>& SlaveRecord(size_t i) const { return slaveRecords_.at(i); }

 protected:
  void OnReceive() override;
  void OnLineLost() override;

 private:
  std::string FindProblem(const std::vector<size_t>& oddRecords,
                          const std::vector<size_t>& emptyRecords) const;

  JobConsole& console_;
  std::mutex lock_;
  std::condition_variable progressed_;
  std::vector<std::vector<uint8_t>> masterRecords_;
  std::vector<std::vector<uint8_t>> slaveRecords_;
  size_t nextMaster_ = 0;
  size_t currentSlave_ = 0;
  size_t slaveCursor_ = 0;  // pairs of the current slave record received
  bool masterDone_ = false;
  bool slaveDone_ = false;
  size_t progress_ = 0;  // bytes received and messages sent so far
  bool writeFailed_ = false;
  std::string problem_;
};

}  // namespace pellux
