#include <gtest/gtest.h>

#include <csignal>

#include "ChildProcess.h"
#include "Stm32TwinFixture.h"
#include "TestFiles.h"

TEST(FlashLoaderProgram, RunsItsCommandLineAgainstTheTwinAndExitsWithTheCode) {
  TempDir dir;
  auto twin = StartStm32Twin();
  WriteFile(dir / "board.map", SmallMap(2));
  ChildProcess loader(BuiltProgram("FlashLoader"),
                      {"-c", "--pn", "COM7", "-i", "board", "-r", "--a", "8000000"},
                      {{"PUPDATE_PORT_MAP", "COM7=" + twin->PortPath()}}, "", dir.path().string());
  EXPECT_EQ(loader.Wait(), 0) << loader.Output();
  EXPECT_NE(loader.Output().find("Your code is running...\n"), std::string::npos);
  EXPECT_EQ(twin->Model().StartedAt(), 0x08000000u);
}

TEST(FlashLoaderProgram, FailureWaitsForAKeyAndCtrlCEndsTheWait) {
  TempDir dir;
  ChildProcess loader(BuiltProgram("FlashLoader"), {"-i", "missing"}, {}, "", dir.path().string());
  ASSERT_TRUE(loader.WaitForOutput("Press any key to continue ...")) << loader.Output();
  loader.Signal(SIGINT);
  EXPECT_EQ(loader.Wait(), 1);
  EXPECT_NE(loader.Output().find("This version is not intended to support the <missing> target\n"),
            std::string::npos);
}

TEST(FlashLoaderProgram, ABadParameterEndsWithAFailureStatus) {
  TempDir dir;
  ChildProcess loader(BuiltProgram("FlashLoader"), {"-v", "junk"}, {}, "", dir.path().string());
  loader.CloseInput();
  EXPECT_EQ(loader.Wait(), 1);
  EXPECT_EQ(loader.Output(), "bad parameter [junk] \n");
}
