#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "JobOutput.h"
#include "SampleContent.h"
#include "Stm32BoardBootloader.h"
#include "Stm32BootloaderModel.h"
#include "TestFiles.h"
#include "TestUpdateServer.h"
#include "VirtualControlBoard.h"

using namespace pellux;

// A user stops a firmware job in the middle of the flash: with Ctrl+C in its
// terminal, or with SIGTERM from outside. The job must say so once, not blame
// the target, not wait for a key, leave no temporary file, and end "Error".
namespace {
namespace fs = std::filesystem;
constexpr uint32_t kFlashBase = 0x08000000;

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class JobCancellationProgram : public ::testing::Test {
 protected:
  JobCancellationProgram() : model(SlowWrites()), bootloader(model), board(&bootloader) {
    board.Start();
    link = dir / "PUpdate-NR2-Firmware-COM3";
    fs::create_symlink(BuiltProgram("PelluxUpdateV3"), link);
  }
  // Each packet takes its time, so the flash is still running when the
  // signal comes.
  static Stm32Options SlowWrites() {
    Stm32Options options;
    options.writeTime = std::chrono::milliseconds(40);
    return options;
  }
  static std::string Image() { return IntelHexOf(kFlashBase, std::vector<uint8_t>(40000, 0x5C)); }

  void ExpectCancelledCleanly(ChildProcess& job) {
    EXPECT_EQ(job.Wait(), 1) << job.Output();
    const std::string output = job.Output();
    EXPECT_EQ(Count(output, "Cancelled."), 1u) << output;
    EXPECT_TRUE(EndsWith(WithoutLogLine(output), "Cancelled.\r\nError\n")) << output;
    EXPECT_EQ(output.find("read protected"), std::string::npos) << output;
    EXPECT_EQ(output.find("Press any key"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(dir / "map.map"));
  }

  TempDir dir;
  std::string link;
  Stm32BootloaderModel model;
  Stm32BoardBootloader bootloader;
  VirtualControlBoard board;
};
}  // namespace

TEST_F(JobCancellationProgram, CtrlCDuringTheFlashSaysCancelledOnce) {
  WriteFile(dir / "main.hex", Image());
  ChildProcess job(link, {dir / "main.hex", "local"},
                   {{"PUPDATE_PORT_MAP", "COM3=" + board.PortPath()}}, "", dir.path().string());
  // Input stays open: a key prompt would wait for ever.
  ASSERT_TRUE(job.WaitForOutput(" DOWNLOADING ... ")) << job.Output();
  job.Signal(SIGINT);
  ExpectCancelledCleanly(job);
  EXPECT_TRUE(fs::exists(dir / "main.hex"));  // the user's own file stays
}

TEST_F(JobCancellationProgram, SigtermDuringAnOnlineFlashRemovesTheDownloadedFile) {
  TestUpdateServer server;
  server.AddFile("NR2", "FIRMWARE", "NR2_FW_V2.hex", Image());
  ChildProcess job(
      link, {},
      {{"PUPDATE_PORT_MAP", "COM3=" + board.PortPath()}, {"PUPDATE_SERVER_URL", server.BaseUrl()}},
      "", dir.path().string());
  ASSERT_TRUE(job.WaitForOutput(" DOWNLOADING ... ")) << job.Output();
  job.Signal(SIGTERM);
  ExpectCancelledCleanly(job);
  EXPECT_FALSE(fs::exists(dir / "NR2_FW_V2.hex"));
  EXPECT_FALSE(fs::exists(dir / "filelist.hex"));
}
