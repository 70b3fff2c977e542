#include <gtest/gtest.h>

#include "CapturingConsole.h"
#include "TestFiles.h"
#include "base/Cancellation.h"
#include "boards/CCamVer1.h"

using namespace pellux;

namespace {

std::string Bytes(std::initializer_list<int> bytes) {
  std::string text;
  for (int b : bytes) text.push_back(static_cast<char>(b));
  return text;
}

int SequenceOf(const std::string& frame) {
  return std::stoi(frame.substr(1, 3));
}

class BoardReceiver : public ::testing::Test {
 protected:
  void Feed(const std::string& bytes) {
    for (const char c : bytes) board_.ReceiveByte(static_cast<uint8_t>(c));
  }
  CapturingConsole console_;
  ScopedActiveConsole active_{console_};
  CancelToken cancel_;
  CCamVer1 board_{cancel_};
};

}  // namespace

TEST(BoardFrame, QueryOneWithSequenceZero) {
  EXPECT_EQ(CCamVer1::FormatCommandFrame(0, 159, "1"),
            Bytes({0x02, 0x30, 0x30, 0x30, 0x3A, 0x31, 0x35, 0x39, 0x3A, 0x31, 0x0A, 0x03, 0xB6}));
}

TEST(BoardFrame, CheckByteHasBitSevenEvenWhenThePayloadXorIsZero) {
  // "255:159:1\n" and "000:159:1\n" differ in the XOR of their digits.
  const std::string frame = CCamVer1::FormatCommandFrame(255, 159, "1");
  EXPECT_EQ(frame.substr(0, 11), std::string("\x02") + "255:159:1\n");
  EXPECT_EQ(frame[11], '\x03');
  uint8_t check = 0;
  for (const char c : std::string("255:159:1\n")) check ^= static_cast<uint8_t>(c);
  EXPECT_EQ(static_cast<uint8_t>(frame[12]), check | 0x80);
  EXPECT_EQ(frame.size(), 13u);
}

TEST(BoardFrame, ProcessWideSequenceWrapsAfter255) {
  int sequence = SequenceOf(CCamVer1::BuildCommandFrame("1"));
  // Advance to the frame just before the one that carries 255.
  while (sequence != 254) sequence = SequenceOf(CCamVer1::BuildCommandFrame("1"));
  const std::string last = CCamVer1::BuildCommandFrame("3");
  EXPECT_EQ(last.substr(1, 10), "255:159:3\n");
  EXPECT_EQ(CCamVer1::BuildCommandFrame("3").substr(1, 10), "000:159:3\n");
  EXPECT_EQ(SequenceOf(CCamVer1::BuildCommandFrame("3")), 1);
}

TEST_F(BoardReceiver, AnswerBetweenBracesIsReadyOnce) {
  Feed("{PRESS_SPEED/120.0}");
  EXPECT_TRUE(board_.TakeAnswerReady());
  EXPECT_FALSE(board_.TakeAnswerReady());
  EXPECT_EQ(board_.AnswerText(), "PRESS_SPEED/120.0");
  EXPECT_EQ(console_.Output(), "");
}

TEST_F(BoardReceiver, CarriageReturnsAndControlBytesStayOutOfTheAnswer) {
  Feed("{PUNCH\r_POS\x06/1\x15.5\x07\x08\x90\x8C\x80\t\x0B" + std::string(1, '\0') + "}");
  EXPECT_TRUE(board_.TakeAnswerReady());
  EXPECT_EQ(board_.AnswerText(), "PUNCH_POS/1.5");
}

TEST_F(BoardReceiver, TextOutsideBracesIsPrintedPerLine) {
  Feed("Board ready");
  EXPECT_EQ(console_.Output(), "");
  Feed("\n{A/1}second\r\n");
  EXPECT_EQ(console_.Output(), "Board ready\nsecond\n");
  EXPECT_EQ(board_.AnswerText(), "A/1");
}

TEST_F(BoardReceiver, ByteEightyOneEmptiesTheLine) {
  Feed("dropped\x81kept\n");
  EXPECT_EQ(console_.Output(), "kept\n");
}

TEST_F(BoardReceiver, NewAnswerDiscardsOneNeverTaken) {
  Feed("{OLD/1}{NEW/2");
  EXPECT_FALSE(board_.TakeAnswerReady());
  Feed("}");
  EXPECT_TRUE(board_.TakeAnswerReady());
  EXPECT_EQ(board_.AnswerText(), "NEW/2");
}

TEST_F(BoardReceiver, RegisterTokenSwallowsUpToSixtyFourBytes) {
  Feed("#reg&line\n");
  EXPECT_EQ(console_.Output(), "line\n");
  console_.ClearOutput();

  // An unclosed token: 64 bytes stored, the 65th abandons it and is dropped,
  // then plain bytes reach the line again.
  Feed("\xE1" + std::string(64, 'r') + "X" + "after\n");
  EXPECT_EQ(console_.Output(), "after\n");
  console_.ClearOutput();

  Feed("#" + std::string(64, 'r') + "X{ANS/1}");
  EXPECT_TRUE(board_.TakeAnswerReady());
  EXPECT_EQ(board_.AnswerText(), "ANS/1");

  // Inside an answer a register token still takes the bytes.
  Feed("{A#hidden&B}");
  EXPECT_TRUE(board_.TakeAnswerReady());
  EXPECT_EQ(board_.AnswerText(), "AB");
}

TEST_F(BoardReceiver, NumberTokenHoldsTenBytesAndFindsNoTextWithoutTable) {
  Feed("<12>shown\n");
  EXPECT_EQ(console_.Output(), "shown\n");
  console_.ClearOutput();
  Feed("<" + std::string(10, '1') + "Xafter\n");
  EXPECT_EQ(console_.Output(), "after\n");
}

TEST_F(BoardReceiver, NumberTokenPrintsItsTextFromTheStringTable) {
  TempDir dir;
  WriteFile(dir / "strings.txt", "12,Punch,ready\r\nno comma\n7,seven\n99,unterminated");
  EXPECT_EQ(board_.LoadStringTable(dir / "strings.txt"), 2);
  Feed("<12>\n<7>");
  EXPECT_EQ(console_.Output(), "Punchready\nseven");
  EXPECT_EQ(board_.LoadStringTable(dir / "missing.txt"), -1);
}

TEST_F(BoardReceiver, AnswerListenerIsCalledWhenAnAnswerCompletes) {
  int calls = 0;
  board_.SetAnswerListener([&] { ++calls; });
  Feed("{A/1");
  EXPECT_EQ(calls, 0);
  Feed("}");
  EXPECT_EQ(calls, 1);
  board_.SetAnswerListener(nullptr);
  Feed("{B}");
  EXPECT_EQ(calls, 1);
}
