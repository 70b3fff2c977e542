#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "ChildProcess.h"
#include "Stm32TwinFixture.h"
#include "TestFiles.h"

using namespace pellux;

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

TEST(FlashLoaderProgram, EndlessInputAtTheActivationPromptEndsAfterAFewAttempts) {
  TempDir dir;
  WriteFile(dir / "board.map", SmallMap(2));
  // No port is opened, so every activation fails at once; standard input
  // always has a key, as from a pipe that never ends.
  ChildProcess loader("/bin/sh",
                      {"-c", "exec \"$0\" -i board </dev/zero", BuiltProgram("FlashLoader")}, {},
                      "", dir.path().string());
  EXPECT_EQ(loader.Wait(), 1) << loader.Output();
  const std::string output = loader.Output();
  EXPECT_NE(output.find("The target did not answer in 6 attempts: check the cable, the port and "
                        "the boot mode switch, then run the update again.\n"),
            std::string::npos)
      << output;
  size_t prompts = 0;
  for (size_t at = 0; (at = output.find("Press any key to continue", at)) != std::string::npos;
       ++at)
    ++prompts;
  EXPECT_EQ(prompts, 6u);
}

TEST(FlashLoaderProgram, ABadParameterEndsWithAFailureStatus) {
  TempDir dir;
  ChildProcess loader(BuiltProgram("FlashLoader"), {"-v", "junk"}, {}, "", dir.path().string());
  loader.CloseInput();
  EXPECT_EQ(loader.Wait(), 1);
  EXPECT_EQ(loader.Output().rfind("bad parameter [junk] \n", 0), 0u) << loader.Output();
}

namespace {
// A copy of the flash loader at `folder`/FlashLoader: the program's own
// path is what it looks beside for its maps.
std::string InstalledFlashLoader(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  const auto copy = folder / "FlashLoader";
  std::filesystem::copy_file(BuiltProgram("FlashLoader"), copy,
                             std::filesystem::copy_options::overwrite_existing);
  return copy.string();
}
}  // namespace

TEST(FlashLoaderProgram, FindsTheMapsShippedWithItWhenTheCurrentFolderHasNone) {
  // Beside the program (the Windows install folder, a portable folder) and
  // in the data folder of an install under a prefix.
  for (const char* shipped : {"bin", "share/pelluxupdate/maps"}) {
    SCOPED_TRACE(shipped);
    TempDir dir;
    const std::string program = InstalledFlashLoader(dir.path() / "bin");
    std::filesystem::create_directories(dir.path() / shipped);
    WriteFile((dir.path() / shipped / "board.map").string(), SmallMap(2));
    std::filesystem::create_directories(dir.path() / "work");
    auto twin = StartStm32Twin();
    ChildProcess loader(program, {"-c", "--pn", "COM7", "-i", "board", "-r", "--a", "8000000"},
                        {{"PUPDATE_PORT_MAP", "COM7=" + twin->PortPath()}}, "",
                        (dir.path() / "work").string());
    EXPECT_EQ(loader.Wait(), 0) << loader.Output();
    EXPECT_EQ(twin->Model().StartedAt(), 0x08000000u);
  }
}

TEST(FlashLoaderProgram, AMapInTheCurrentFolderWinsOverTheShippedOne) {
  TempDir dir;
  const std::string program = InstalledFlashLoader(dir.path() / "bin");
  WriteFile((dir.path() / "bin" / "board.map").string(), SmallMap(2));
  std::filesystem::create_directories(dir.path() / "work");
  std::string unusable = SmallMap(2);
  unusable.replace(unusable.find("PacketSize=80"), 13, "PacketSize=0");
  WriteFile((dir.path() / "work" / "board.map").string(), unusable);
  ChildProcess loader(program, {"-i", "board"}, {}, "", (dir.path() / "work").string());
  loader.CloseInput();
  EXPECT_EQ(loader.Wait(), 1);
  EXPECT_NE(loader.Output().find("The device map's packet size PacketSize=0 cannot be used"),
            std::string::npos)
      << loader.Output();
}
