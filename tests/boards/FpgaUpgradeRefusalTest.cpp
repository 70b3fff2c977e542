#include <gtest/gtest.h>

#include "CapturingConsole.h"
#include "TestFiles.h"
#include "boards/FpgaUpgrade.h"

TEST(FpgaUpgradeRefusal, MissingFileIsReportedBeforeAnyPortIsOpened) {
  TempDir dir;
  CapturingConsole console;
  ScopedActiveConsole active(console);
  EXPECT_FALSE(UpgradeFpga("COM99", dir / "missing.bin"));
  EXPECT_EQ(console.Output(), "FPGA file open failed.");
}

TEST(FpgaUpgradeRefusal, EmptyImageIsRefusedBeforeTheBoardIsReset) {
  TempDir dir;
  WriteFile(dir / "empty.bin", "");
  CapturingConsole console;
  ScopedActiveConsole active(console);
  EXPECT_FALSE(UpgradeFpga("COM99", dir / "empty.bin"));
  EXPECT_EQ(console.Output(), "FPGA file is empty.\r\n");
}
