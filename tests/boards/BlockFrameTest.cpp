#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "boards/BlockCrc.h"
#include "boards/BlockFrame.h"

using namespace pellux;

namespace {
uint16_t CrcOf(const std::string& text) {
  return Crc16(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

AnswerCode Feed(const BlockFrame& frame) {
  AnswerCode code = AnswerCode::NoAnswer;
  for (uint8_t byte : frame) code = ReceiveByte(byte);
  return code;
}

class BlockFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitCrcTable(kBoardCrcPolynomial);
    ResetBlockNumbers();
  }
};
}  // namespace

TEST(BoardCrc, CheckValues) {
  InitCrcTable(kBoardCrcPolynomial);
  EXPECT_EQ(CrcTableEntry(0), 0x0000);
  EXPECT_EQ(CrcTableEntry(1), 0x5232);
  EXPECT_EQ(CrcTableEntry(2), 0xA464);
  EXPECT_EQ(CrcTableEntry(3), 0xF656);
  EXPECT_EQ(CrcOf("123456789"), 0xFDBA);
  EXPECT_EQ(CrcOf("abc"), 0x9C92);
  EXPECT_EQ(CrcOf(""), 0x0000);
}

TEST(BoardCrc, TableFollowsThePolynomial) {
  InitCrcTable(0x1021);
  EXPECT_EQ(CrcOf("123456789"), 0x31C3);  // the well-known XMODEM check value
  InitCrcTable(kBoardCrcPolynomial);
  EXPECT_EQ(CrcOf("123456789"), 0xFDBA);
}

TEST_F(BlockFrameTest, ShortLastBlockIsPaddedAndCarriesItsCrc) {
  std::vector<uint8_t> data(44);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  BlockFrame frame{};
  BuildBlockFrame(data.data(), data.size(), frame);
  EXPECT_EQ(frame[0], kSoh);
  EXPECT_EQ(frame[1], 1);
  EXPECT_EQ(frame[2], 0xFE);
  EXPECT_EQ(0, std::memcmp(frame.data() + 3, data.data(), data.size()));
  for (size_t i = 3 + data.size(); i < 131; ++i) ASSERT_EQ(frame[i], 0x1A) << i;
  const uint16_t crc = Crc16(frame.data(), 131);
  EXPECT_EQ(frame[131], crc >> 8);
  EXPECT_EQ(frame[132], crc & 0xFF);
  EXPECT_EQ(Crc16(frame.data(), frame.size()), 0) << "a whole valid frame leaves no residue";
}

TEST_F(BlockFrameTest, BlockNumbersWrapFrom255To0) {
  const uint8_t data[128] = {};
  BlockFrame frame{};
  for (int n = 1; n <= 257; ++n) {
    BuildBlockFrame(data, sizeof data, frame);
    ASSERT_EQ(frame[1], static_cast<uint8_t>(n)) << n;
    ASSERT_EQ(static_cast<uint8_t>(frame[1] + frame[2]), 0xFF);
  }
  EXPECT_EQ(frame[1], 1);  // 255, 0, 1
  ResetBlockNumbers();
  BuildBlockFrame(data, sizeof data, frame);
  EXPECT_EQ(frame[1], 1);
}

TEST_F(BlockFrameTest, ControlBytesOutsideABlock) {
  EXPECT_EQ(ReceiveByte(kEot), AnswerCode::EndOfTransfer);
  EXPECT_EQ(ReceiveByte(kAck), AnswerCode::Acknowledged);
  EXPECT_EQ(ReceiveByte(kNak), AnswerCode::Refused);
  EXPECT_EQ(ReceiveByte(kCan), AnswerCode::Cancelled);
  EXPECT_EQ(ReceiveByte('C'), AnswerCode::NoAnswer);
  EXPECT_EQ(ReceiveByte(0x00), AnswerCode::NoAnswer);
}

TEST_F(BlockFrameTest, ReceivedBlocksGoodRepeatedAndBad) {
  const uint8_t data[5] = {1, 2, 3, 4, 5};
  BlockFrame first{}, second{};
  BuildBlockFrame(data, sizeof data, first);
  BuildBlockFrame(data, sizeof data, second);

  EXPECT_EQ(Feed(first), AnswerCode::BlockGood);
  EXPECT_EQ(Feed(first), AnswerCode::BlockRepeated) << "the previous block again";
  EXPECT_EQ(Feed(second), AnswerCode::BlockGood);
  EXPECT_EQ(Feed(second), AnswerCode::BlockRepeated);
  EXPECT_EQ(Feed(first), AnswerCode::BlockBad) << "neither expected nor previous";

  BlockFrame third{};
  BuildBlockFrame(data, sizeof data, third);
  BlockFrame corrupted = third;
  corrupted[40] ^= 0x01;
  EXPECT_EQ(Feed(corrupted), AnswerCode::BlockBad);
  BlockFrame wrongComplement = third;
  wrongComplement[2] ^= 0xFF;
  // Keep the CRC right so only the complement is wrong.
  const uint16_t crc = Crc16(wrongComplement.data(), 131);
  wrongComplement[131] = static_cast<uint8_t>(crc >> 8);
  wrongComplement[132] = static_cast<uint8_t>(crc);
  EXPECT_EQ(Feed(wrongComplement), AnswerCode::BlockBad);
  EXPECT_EQ(Feed(third), AnswerCode::BlockGood) << "bad blocks do not advance the expected number";
}

TEST_F(BlockFrameTest, EveryByteInsideABlockIsNoAnswer) {
  uint8_t data[128];
  std::memset(data, kAck, sizeof data);
  data[0] = kEot;
  data[1] = kNak;
  BlockFrame frame{};
  BuildBlockFrame(data, sizeof data, frame);
  for (size_t i = 0; i + 1 < frame.size(); ++i)
    ASSERT_EQ(ReceiveByte(frame[i]), AnswerCode::NoAnswer) << i;
  EXPECT_EQ(ReceiveByte(frame.back()), AnswerCode::BlockGood);
}
