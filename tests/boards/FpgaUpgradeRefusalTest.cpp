#include <gtest/gtest.h>

#include "CapturingConsole.h"
#include "TestFiles.h"
#include "boards/FpgaUpgrade.h"

using namespace pellux;

TEST(FpgaUpgradeRefusal, MissingFileIsReportedBeforeAnyPortIsOpened) {
  TempDir dir;
  CapturingConsole console;
  ScopedActiveConsole active(console);
  EXPECT_FALSE(UpgradeFpga("COM99", dir / "missing.bin"));
  // The text of its own, then a line with the file and the reason.
  EXPECT_EQ(console.Output(), "FPGA file open failed.\r\nCannot read " + (dir / "missing.bin") +
                                  ": No such file or directory.\r\n");
}

TEST(FpgaUpgradeRefusal, EmptyImageIsRefusedBeforeTheBoardIsReset) {
  TempDir dir;
  WriteFile(dir / "empty.bin", "");
  CapturingConsole console;
  ScopedActiveConsole active(console);
  EXPECT_FALSE(UpgradeFpga("COM99", dir / "empty.bin"));
  EXPECT_EQ(console.Output(), "FPGA file is empty.\r\n");
}
