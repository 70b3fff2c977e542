#include <gtest/gtest.h>

#include "boards/CSDSeriesComm.h"

using namespace pellux;

namespace {
std::string Bytes(std::initializer_list<int> bytes) {
  std::string text;
  for (int b : bytes) text.push_back(static_cast<char>(b));
  return text;
}
}  // namespace

TEST(DriveFrame, FactoryResetCarriesCheckDigitD) {
  EXPECT_EQ(CSDSeriesComm::BuildDriveFrame("ETC", "12", ""),
            Bytes({0x02, 0x30, 0x31, 0x23, 0x45, 0x54, 0x43, 0x31, 0x32, 0x3A, 0x44, 0x03}));
}

TEST(DriveFrame, AutoTuningCarriesCheckDigit8) {
  EXPECT_EQ(CSDSeriesComm::BuildDriveFrame("TAT", "01", ""),
            Bytes({0x02, 0x30, 0x31, 0x23, 0x54, 0x41, 0x54, 0x30, 0x31, 0x3A, 0x38, 0x03}));
}

TEST(DriveFrame, ParameterWriteJoinsNameAndValue) {
  // "01#STRP0-012:" adds up to 759, and 759 % 16 = 7.
  EXPECT_EQ(CSDSeriesComm::BuildDriveFrame("STR", "P0-01", "2"),
            "\x02"
            "01#STRP0-012:7\x03");
}
