// Download Online Files against the reference server: what it says when
// files fail, and where the tree goes when the program's folder is closed.
#include <gtest/gtest.h>

#include <filesystem>

#include "CapturingConsole.h"
#include "ScopedEnv.h"
#include "TestFiles.h"
#include "TestUpdateServer.h"
#include "app/OnlineFilesDownload.h"
#include "base/Cancellation.h"

using namespace pellux;

namespace fs = std::filesystem;

namespace {
class OnlineFilesDownloadTest : public ::testing::Test {
 protected:
  OnlineFilesDownloadTest() {
    server.AddFile("NR2", "FIRMWARE", "fw.hex", "firmware bytes");
    server.AddFile("NR2", "SERVO", "drive.csv", "servo bytes");
    console.PushKey('\n');
  }
  bool Download(const fs::path& programFolder) {
    return DownloadOnlineFiles(programFolder, "NR2", cancel, console);
  }
  std::string Output() const { return console.Output(); }

  TestUpdateServer server;
  TempDir dir;
  ScopedCurrentDir cwd{dir.path()};  // the lists land there
  CancelToken cancel;
  CapturingConsole console;
};
}  // namespace

TEST_F(OnlineFilesDownloadTest, FilesThatFailAreCountedAndTheResultIsFalse) {
  // Listed but gone from the server, and a name no folder may hold.
  server.SetList("NR2", "FIRMWARE", {"fw.hex", "gone.hex", "a\\b.hex"});
  EXPECT_FALSE(Download(dir.path()));
  const std::string base = (dir / "NR2");
  EXPECT_TRUE(
      Output().ends_with("\r\n\r\nAll file download complete.\r\n"
                         "2 of 4 files could not be downloaded; the lines above say why.\r\n"
                         "The files are in " +
                         base + "\r\n"))
      << Output();
  EXPECT_EQ(ReadFile(base + "/FIRMWARE/fw.hex"), "firmware bytes");
  EXPECT_EQ(ReadFile(base + "/SERVO/drive.csv"), "servo bytes");
  EXPECT_EQ(console.PromptsSeen(), 1);
}

TEST_F(OnlineFilesDownloadTest, EveryFileFetchedIsASuccess) {
  EXPECT_TRUE(Download(dir.path()));
  EXPECT_TRUE(Output().ends_with("All file download complete.\r\nThe files are in " +
                                 (dir / "NR2") + "\r\n"))
      << Output();
}

// An installed program's folder cannot be written (here it is a file, which
// stops root as well as anyone): the tree goes to the user's data folder.
TEST_F(OnlineFilesDownloadTest, ClosedProgramFolderSendsTheTreeToTheUsersDataFolder) {
  WriteFile(dir / "bin", "a program folder no one may write to");
  ScopedEnv data("XDG_DATA_HOME", dir / "data");
  EXPECT_TRUE(Download(dir / "bin"));
  const std::string base = dir / "data/PelluxUpdate/Downloads/NR2";
  EXPECT_EQ(ReadFile(base + "/FIRMWARE/fw.hex"), "firmware bytes");
  EXPECT_EQ(ReadFile(base + "/SERVO/drive.csv"), "servo bytes");
  const std::string out = Output();
  EXPECT_EQ(out.rfind("Make Base Directory : " + (dir / "bin/NR2") +
                          "\r\nCannot write beside the program (" + (dir / "bin/NR2") + ": ",
                      0),
            0u)
      << out;
  EXPECT_NE(out.find("); the files go to " + base + " instead.\r\nMake Base Directory : " + base +
                     "\r\n"),
            std::string::npos)
      << out;
  EXPECT_TRUE(out.ends_with("The files are in " + base + "\r\n")) << out;
}

// A machine folder that is there but cannot take the mode folders counts as
// closed too.
TEST_F(OnlineFilesDownloadTest, UnusableMachineFolderSendsTheTreeToTheUsersDataFolder) {
  fs::create_directories(dir / "bin/NR2");
  WriteFile(dir / "bin/NR2/FPGA", "in the way of the FPGA folder");
  ScopedEnv data("XDG_DATA_HOME", dir / "data");
  EXPECT_TRUE(Download(dir / "bin"));
  EXPECT_EQ(ReadFile(dir / "data/PelluxUpdate/Downloads/NR2/SERVO/drive.csv"), "servo bytes");
  EXPECT_NE(Output().find("Cannot write beside the program (" + (dir / "bin/NR2/FPGA") + ": "),
            std::string::npos)
      << Output();
}

TEST(UserDownloadsFolder, FollowsXdgDataHomeElseHome) {
  {
    ScopedEnv data("XDG_DATA_HOME", "/srv/data");
    EXPECT_EQ(UserDownloadsFolder(), fs::path("/srv/data/PelluxUpdate/Downloads"));
  }
  ScopedEnv relative("XDG_DATA_HOME", "relative/data");
  ScopedEnv home("HOME", "/home/engineer");
  EXPECT_EQ(UserDownloadsFolder(), fs::path("/home/engineer/.local/share/PelluxUpdate/Downloads"));
}
