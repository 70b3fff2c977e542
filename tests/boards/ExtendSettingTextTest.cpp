#include <gtest/gtest.h>

#include "boards/ExtendSettingText.h"

using namespace pellux;

TEST(ExtendSettingText, BoxTextsConvertAsTheirLeadingNumber) {
  EXPECT_EQ(BoxTextToFloat("12.3"), 12.3f);
  EXPECT_EQ(BoxTextToFloat("  -4.5mm"), -4.5f);
  EXPECT_EQ(BoxTextToFloat("+7"), 7.0f);
  EXPECT_EQ(BoxTextToFloat("abc"), 0.0f);
  EXPECT_EQ(BoxTextToFloat(""), 0.0f);
  EXPECT_EQ(BoxTextToFloat("-"), 0.0f);
  EXPECT_EQ(BoxTextToFloat("."), 0.0f);
  EXPECT_EQ(BoxTextToFloat("1e2"), 100.0f);
}

TEST(ExtendSettingText, ValuesTravelWithSixDecimalsOfTheFloat) {
  EXPECT_EQ(FormatBoardValue(12.3f), "12.300000");
  EXPECT_EQ(FormatBoardValue(0.0f), "0.000000");
  EXPECT_EQ(FormatBoardValue(-0.5f), "-0.500000");
  // The 32-bit float shows through: 1234567.89 is stored as 1234567.875.
  EXPECT_EQ(FormatBoardValue(1234567.89f), "1234567.875000");
  EXPECT_EQ(SetCommandText(4, {120.0f}), "4,120.000000");
  EXPECT_EQ(SetCommandText(2, {1.0f, 2.5f}), "2,1.000000,2.500000");
}

TEST(ExtendSettingText, AnswerNeedsExactKeyAndFieldCount) {
  EXPECT_EQ(AnswerFields("PRESS_SPEED/120.0", "PRESS_SPEED", 2),
            (std::vector<std::string>{"120.0"}));
  EXPECT_EQ(AnswerFields("PUNCH_POS/1//3/", "PUNCH_POS", 4),
            (std::vector<std::string>{"1", "", "3"}));
  EXPECT_FALSE(AnswerFields("PUNCH_POSX/1/2", "PUNCH_POS", 3));
  EXPECT_FALSE(AnswerFields("PUNCH_POS/1/2/3", "PUNCH_POS", 3));
  EXPECT_FALSE(AnswerFields("", "PUNCH_POS", 1));
}
