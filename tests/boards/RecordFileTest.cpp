#include <gtest/gtest.h>

#include "CapturingConsole.h"
#include "TestFiles.h"
#include "base/Cancellation.h"
#include "boards/ImitationComm.h"

using namespace pellux;

namespace {

using Bytes = std::vector<uint8_t>;

std::string Record(uint8_t type, const Bytes& data) {
  std::string record;
  record.push_back(static_cast<char>(type));
  record.push_back(static_cast<char>(data.size() >> 8));
  record.push_back(static_cast<char>(data.size() & 0xFF));
  record.append(data.begin(), data.end());
  return record;
}

class RecordFile : public ::testing::Test {
 protected:
  ImitationComm::LoadResult Load(const std::string& content) {
    const std::string path = dir_ / "record.bin";
    WriteFile(path, content);
    return comm_.LoadRecordFile(path);
  }
  TempDir dir_;
  CancelToken cancel_;
  CapturingConsole console_;
  ImitationComm comm_{cancel_, console_};
};

}  // namespace

TEST_F(RecordFile, MasterAndSlaveRecordsInFileOrder) {
  ASSERT_EQ(
      Load(Record(1, {0x10, 0, 0x11, 2}) + Record(2, {0xAA, 0, 0xBB, 0}) + Record(1, {0x12, 255})),
      ImitationComm::LoadResult::Loaded);
  ASSERT_EQ(comm_.MasterRecordCount(), 2u);
  ASSERT_EQ(comm_.SlaveRecordCount(), 1u);
  EXPECT_EQ(comm_.MasterRecord(0), (Bytes{0x10, 0, 0x11, 2}));
  EXPECT_EQ(comm_.MasterRecord(1), (Bytes{0x12, 255}));
  EXPECT_EQ(comm_.SlaveRecord(0), (Bytes{0xAA, 0, 0xBB, 0}));
}

TEST_F(RecordFile, OtherRecordTypesAreSkipped) {
  ASSERT_EQ(Load(Record(1, {0x10, 0}) + Record(3, {1, 2, 3}) + Record(2, {0xAA, 0}) +
                 Record(0, {}) + Record(1, {0x11, 0})),
            ImitationComm::LoadResult::Loaded);
  EXPECT_EQ(comm_.MasterRecordCount(), 2u);
  EXPECT_EQ(comm_.SlaveRecordCount(), 1u);
  EXPECT_EQ(comm_.MasterRecord(1), (Bytes{0x11, 0}));
}

TEST_F(RecordFile, LengthIsBigEndian) {
  Bytes longReply;
  for (int i = 0; i < 0x102; ++i) longReply.push_back(static_cast<uint8_t>(i));
  // 01 02 announces 258 bytes; read the other way round it would be 513.
  std::string file = Record(1, {0x10, 0}) + Record(2, longReply) + Record(1, {0x11, 0});
  ASSERT_EQ(file.substr(5, 3), std::string("\x02\x01\x02", 3));
  ASSERT_EQ(Load(file), ImitationComm::LoadResult::Loaded);
  EXPECT_EQ(comm_.SlaveRecord(0), longReply);
  EXPECT_EQ(comm_.MasterRecord(1), (Bytes{0x11, 0}));
}

TEST_F(RecordFile, TrailingIncompleteRecordIsDropped) {
  ASSERT_EQ(Load(Record(1, {0x10, 0}) + Record(2, {0xAA, 0}) + Record(1, {0x11, 0}) +
                 std::string("\x02\x00\x04\xAA", 4)),
            ImitationComm::LoadResult::Loaded);
  EXPECT_EQ(comm_.SlaveRecordCount(), 1u);
}

TEST_F(RecordFile, MissingFileCannotBeOpened) {
  EXPECT_EQ(comm_.LoadRecordFile(dir_ / "missing.bin"), ImitationComm::LoadResult::OpenFailed);
}

TEST_F(RecordFile, RecordingsThatCannotEndAReplayAreRefused) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "no master record"},
      {Record(1, {0x10, 0}), "no slave record"},
      {Record(1, {0x10, 0}) + Record(3, {0xAA, 0}) + Record(1, {0x11, 0}), "no slave record"},
      {Record(2, {0xAA, 0}) + Record(2, {0xAB, 0}) + Record(1, {0x10, 0}),
       "1 master and 2 slave records"},
      {Record(1, {0x10, 0}) + Record(2, {0xAA, 0}) + Record(1, {0x11, 0}) + Record(1, {0x12, 0}),
       "3 master and 1 slave records"},
      {Record(1, {0x10, 0}) + Record(2, {0xAA}) + Record(1, {0x11, 0}),
       "record 2 holds an odd number of data bytes"},
      {Record(1, {0x10, 0}) + Record(2, {}) + Record(1, {0x11, 0}), "record 2 holds no data"},
      {Record(1, {}) + Record(2, {0xAA, 0}) + Record(1, {0x11, 0}), "record 1 holds no data"},
  };
  for (const auto& [file, problem] : cases) {
    SCOPED_TRACE(problem);
    EXPECT_EQ(Load(file), ImitationComm::LoadResult::Unplayable);
    EXPECT_NE(comm_.Problem().find(problem), std::string::npos) << comm_.Problem();
  }
}
