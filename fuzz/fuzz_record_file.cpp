// Step drive record files: the records match a small model of the format,
// and a recording that is accepted can always finish a replay.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "base/Cancellation.h"
#include "boards/ImitationComm.h"

using namespace pellux;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzTempDir dir;
  const std::string path = (dir.path() / "step.rec").string();
  WriteBytes(path, data, size);

  // Model: type byte, big-endian length, data; an unfinished last record is dropped.
  std::vector<std::vector<uint8_t>> masters, slaves;
  for (size_t at = 0; at + 3 <= size;) {
    const uint8_t type = data[at];
    const size_t length = (size_t{data[at + 1]} << 8) | data[at + 2];
    if (at + 3 + length > size) break;
    const std::vector<uint8_t> record(data + at + 3, data + at + 3 + length);
    if (type == 1) masters.push_back(record);
    if (type == 2) slaves.push_back(record);
    at += 3 + length;
  }

  const CancelToken cancel;
  QuietConsole console;
  ImitationComm replay(cancel, console);
  const ImitationComm::LoadResult result = replay.LoadRecordFile(path);
  FUZZ_CHECK(result != ImitationComm::LoadResult::OpenFailed, "a written file opens");
  FUZZ_CHECK(
      replay.MasterRecordCount() == masters.size() && replay.SlaveRecordCount() == slaves.size(),
      "record counts match the model");
  for (size_t i = 0; i < masters.size(); ++i)
    FUZZ_CHECK(replay.MasterRecord(i) == masters[i], "master records match the model");
  for (size_t i = 0; i < slaves.size(); ++i)
    FUZZ_CHECK(replay.SlaveRecord(i) == slaves[i], "slave records match the model");

  // A replay ends with the master's last message or with the reply to it.
  bool playable =
      !slaves.empty() && (masters.size() == slaves.size() + 1 || masters.size() == slaves.size());
  for (const auto* records : {&masters, &slaves})
    for (const auto& record : *records)
      playable = playable && !record.empty() && record.size() % 2 == 0;
  FUZZ_CHECK((result == ImitationComm::LoadResult::Loaded) == playable,
             "exactly the recordings that can finish are accepted");
  FUZZ_CHECK(playable == replay.Problem().empty(), "a refused recording says why");
  return 0;
}
