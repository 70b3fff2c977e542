#include <gtest/gtest.h>

#include <filesystem>

#include "CapturingConsole.h"
#include "TestFiles.h"
#include "boards/ControlBoardUpdate.h"
#include "boards/FlashLoaderPort.h"
#include "boards/MapTemplates.h"

using namespace pellux;

TEST(MapTemplates, F4TemplateByteForByte) {
  const std::string map(F4MapTemplate());
  EXPECT_EQ(map.size(), 685u);
  EXPECT_EQ(map.rfind("[Product]\nName=STM32F4_01_256K\nPID=0423\nBID=1FFF76DE\n", 0), 0u);
  EXPECT_NE(map.find("\nfamily = 6\n\n[Sector0]\n"), std::string::npos);
  EXPECT_NE(map.find("[Sector4]\nName=Sector4\nIndex=004\nAddress=08010000\nSize=10000\n"
                     "Type=111\nUFO=111\n\n[Sector5]"),
            std::string::npos);
  EXPECT_TRUE(
      map.ends_with("[OptionBytes]\nName=OptionBytes\nAddress=1FFFC000\nSize=0000010\n"
                    "Type=101\nUFO=111\n"));
}

TEST(MapTemplates, HighDensityTemplateByteForByte) {
  const std::string& map = HighDensityMapTemplate();
  EXPECT_EQ(map.size(), 10162u);
  EXPECT_EQ(map.rfind("[Product]\nName=STM32_High-density_256K\nPID=0414\nFlashSize=0100\n"
                      "RAMSize=0030\nPacketSize=80\nACKVAL=79\nMAPNAME=Pages\n"
                      "PagesPerSector=2\nfamily=1\n\n[Page0]\nName=Page0\nIndex=00\n"
                      "Address=08000000\nSize=00000800\nType=111\nUFO=111\n\n[Page1]\n",
                      0),
            0u);
  EXPECT_NE(map.find("UFO=111\n[Page2]\nName=Page2\nIndex=02\nAddress=08001000\n"),
            std::string::npos)
      << "only Page0 is followed by an empty line";
  EXPECT_NE(map.find("[Page26]\nName=Page26\nIndex=1A\nAddress=0800D000\n"), std::string::npos);
  EXPECT_TRUE(
      map.ends_with("[Page127]\nName=Page127\nIndex=7F\nAddress=0803F800\n"
                    "Size=00000800\nType=111\nUFO=111\n"));
}

TEST(FlashLoaderPort, ComNumberOrWholeName) {
  EXPECT_EQ(FlashLoaderPortText("COM7"), "7");
  EXPECT_EQ(FlashLoaderPortText("COM12"), "12");
  EXPECT_EQ(FlashLoaderPortText("com3"), "3");
  EXPECT_EQ(FlashLoaderPortText("ttyUSB0"), "ttyUSB0");
  EXPECT_EQ(FlashLoaderPortText("/dev/pts/4"), "/dev/pts/4");
  EXPECT_EQ(FlashLoaderPortText("TTYACM0"), "TTYACM0") << "an 'M' later in the name is no cut";
}

TEST(ControlBoardUpdateManual, NoKeyAtThePromptEndsTheUpdateBeforeAnyMapIsWritten) {
  TempDir dir;
  ScopedCurrentDir cwd(dir.path());
  CapturingConsole console;
  console.CloseInput();
  ScopedActiveConsole active(console);
  EXPECT_FALSE(updateControlBoard("COM3", dir / "NR2-F4-fw.hex", false));
  EXPECT_EQ(console.Output(),
            "It is a device using F4 chip.\r\n\r\n"
            "In control board, Slide switch move to [Boot Mode].\r\n"
            "And please turn off and turn on [I/O Switch] or [Board Power Switch].\r\n"
            "And press enter key...\r\nPress Ctrl+C for stop download.\r\n\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "map.map"));
}

TEST(ControlBoardUpdateManual, FailedFlashIsAFailureAndOnlyOurMapFileIsRemoved) {
  TempDir dir;
  ScopedCurrentDir cwd(dir.path());
  WriteFile(dir / "user.map", "the user's own map");
  CapturingConsole console;
  console.PushKey('\n');
  console.CloseInput();
  ScopedActiveConsole active(console);
  // No such port: the flash loader cannot reach a bootloader.
  EXPECT_FALSE(updateControlBoard("COM250", dir / "missing.hex", true));
  EXPECT_EQ(console.Output().find("F4 chip"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "map.map"));
  EXPECT_EQ(ReadFile(dir / "user.map"), "the user's own map");
}

// The shipped map files (for the FlashLoader command) are the built-in maps.
TEST(ShippedMapFiles, EqualTheBuiltInTemplates) {
  const std::string dir = std::string(PUPDATE_SOURCE_DIR) + "/resources/maps/";
  EXPECT_EQ(ReadFile(dir + "STM32_High-density_256K.map"), HighDensityMapTemplate());
  EXPECT_EQ(ReadFile(dir + "STM32F4_01_256K.map"), std::string(F4MapTemplate()));
}
