#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "CapturingConsole.h"
#include "OpenDescriptors.h"
#include "TestFiles.h"
#include "VirtualControlBoard.h"
#include "base/Cancellation.h"
#include "boards/FpgaUpgrade.h"

using namespace pellux;

namespace {
const char* const kPrompt =
    "\r\nIf upgrade mode did not start automatically,\r\nPlease turn off and turn on [I/O Switch] "
    "or [Board Power Switch].\r\nPress Ctrl+C for stop download.\r\n\r\n";

std::string ImageOf(size_t size) {
  std::string image(size, '\0');
  for (size_t i = 0; i < size; ++i) image[i] = static_cast<char>((i * 31 + 7) & 0xFF);
  return image;
}

std::vector<uint8_t> Padded(const std::string& image) {
  std::vector<uint8_t> padded(image.begin(), image.end());
  padded.resize((image.size() + 127) / 128 * 128, 0x1A);
  return padded;
}

// The job is handed a token and a console of its own: the process's job
// token and active console are never involved.
class FpgaUpgradeTest : public ::testing::Test {
 protected:
  FpgaUpgradeTest() {
    if (std::getenv("PUPDATE_TEST_LOG")) {
      board.SetLogger([](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    }
    board.Start();
  }

  std::string WriteImage(const std::string& image) {
    const std::string path = dir / "fpga.bin";
    WriteFile(path, image);
    return path;
  }

  // Runs the job on its own thread, as the job driver does.
  std::future<bool> StartUpgrade(const std::string& path) {
    return std::async(std::launch::async, [this, path] {
      return UpgradeFpga(board.PortPath(), path, cancel, console);
    });
  }

  // Runs the job to its end; a job that hangs fails the test and is cancelled.
  bool RunUpgrade(const std::string& path) {
    auto job = StartUpgrade(path);
    if (job.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
      ADD_FAILURE() << "the job did not end";
      cancel.Cancel();
    }
    return job.get();
  }

  // Cancels the job and checks that it ended as a failure, let go of the
  // port and sends nothing more.
  void CancelAndCheckTheLineIsQuiet(std::future<bool>& job) {
    cancel.Cancel();
    ASSERT_EQ(job.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_FALSE(job.get());
    EXPECT_EQ(DescriptorsOpenOn(board.PortPath()), 1) << "only the pair's own keeper";
    const size_t received = board.Received().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(board.Received().size(), received);
  }

  TempDir dir;
  CancelToken cancel;
  CapturingConsole console;
  VirtualControlBoard board;
};
}  // namespace

TEST_F(FpgaUpgradeTest, ImageOf300BytesGoesOutInThreeBlocksThenEot) {
  const std::string image = ImageOf(300);
  EXPECT_TRUE(RunUpgrade(WriteImage(image)));
  ASSERT_TRUE(board.WaitForFpgaImages(1));
  EXPECT_EQ(console.Output(), std::string(kPrompt) +
                                  "Transfer Start.\r\n1/3\r2/3\r3/3\r"
                                  "\r\nBoard FPGA Upgrade process success.\r\n");
  EXPECT_EQ(board.FpgaImage(), Padded(image));
  EXPECT_EQ(board.FpgaBlockNumbers(), (std::vector<int>{1, 2, 3}));

  // The wire: reset at 19200, the selector, three frames, EOT.
  const std::vector<uint8_t> wire = board.Received();
  ASSERT_EQ(wire.size(), 1 + 1 + 3 * 133 + 1);
  EXPECT_EQ(wire[0], 0x0E);
  EXPECT_EQ(wire[1], 'G');
  const uint8_t* third = wire.data() + 2 + 2 * 133;
  EXPECT_EQ(third[0], 0x01);
  EXPECT_EQ(third[1], 3);
  EXPECT_EQ(third[2], 0xFC);
  EXPECT_EQ(std::string(third + 3, third + 3 + 44), image.substr(256));
  EXPECT_EQ(std::string(third + 3 + 44, third + 131), std::string(84, '\x1A'));
  EXPECT_EQ(wire.back(), 0x04);
  EXPECT_EQ(DescriptorsOpenOn(board.PortPath()), 1);
}

TEST_F(FpgaUpgradeTest, ExactMultipleOf128GivesNoExtraBlock) {
  const std::string image = ImageOf(256);
  EXPECT_TRUE(RunUpgrade(WriteImage(image)));
  ASSERT_TRUE(board.WaitForFpgaImages(1));
  EXPECT_EQ(board.FpgaImage(), Padded(image));
  EXPECT_EQ(board.FpgaBlockNumbers(), (std::vector<int>{1, 2}));
  EXPECT_EQ(board.Received().size(), 1 + 1 + 2 * 133 + 1);
}

TEST_F(FpgaUpgradeTest, RefusedBlocksAreSentAgainUnchanged) {
  const std::string image = ImageOf(600);
  board.NakBlockOnce(2);
  board.CorruptBlockOnce(4);
  EXPECT_TRUE(RunUpgrade(WriteImage(image)));
  ASSERT_TRUE(board.WaitForFpgaImages(1));
  EXPECT_EQ(board.FpgaImage(), Padded(image));
  EXPECT_EQ(board.FpgaBlockNumbers(), (std::vector<int>{1, 2, 2, 3, 4, 4, 5}));
  const std::vector<uint8_t> wire = board.Received();
  ASSERT_EQ(wire.size(), 2 + 7 * 133 + 1);
  auto frame = [&](int index) {
    return std::vector<uint8_t>(wire.begin() + 2 + index * 133,
                                wire.begin() + 2 + (index + 1) * 133);
  };
  EXPECT_EQ(frame(1), frame(2)) << "a NAKed block is repeated byte for byte";
  EXPECT_EQ(frame(4), frame(5));
  EXPECT_EQ(console.Output().find("1/5\r2/5\r3/5\r4/5\r5/5\r"), std::string(kPrompt).size() + 17);
}

TEST_F(FpgaUpgradeTest, BlockNumbersWrapAfter255) {
  const std::string image = ImageOf(258 * 128);
  EXPECT_TRUE(RunUpgrade(WriteImage(image)));
  ASSERT_TRUE(board.WaitForFpgaImages(1));
  EXPECT_EQ(board.FpgaImage(), Padded(image));
  const std::vector<int> numbers = board.FpgaBlockNumbers();
  ASSERT_EQ(numbers.size(), 258u);
  EXPECT_EQ(numbers[254], 255);
  EXPECT_EQ(numbers[255], 0);
  EXPECT_EQ(numbers[256], 1);
}

TEST_F(FpgaUpgradeTest, CancelDuringTheBlockTransfer) {
  board.StallAtBlock(2);
  auto job = StartUpgrade(WriteImage(ImageOf(1000)));
  ASSERT_TRUE(board.WaitForFpgaBlocks(2));
  CancelAndCheckTheLineIsQuiet(job);
  EXPECT_EQ(board.FpgaImagesReceived(), 0);
  EXPECT_EQ(console.Output().find("success"), std::string::npos);
}

TEST_F(FpgaUpgradeTest, CancelWhileTheBoardNeverAnnouncesUpgradeMode) {
  board.SetNeverSendC(true);
  auto job = StartUpgrade(WriteImage(ImageOf(100)));
  ASSERT_TRUE(board.WaitForMode(VirtualControlBoard::Mode::UpgradeStarting));
  CancelAndCheckTheLineIsQuiet(job);
  EXPECT_EQ(board.Received(), std::vector<uint8_t>{0x0E}) << "no selector without 'C'";
  EXPECT_EQ(console.Output().find("Transfer Start."), std::string::npos);
}

// Another job's Ctrl+C (the process's job token) is not this job's.
TEST_F(FpgaUpgradeTest, TheProcessJobTokenDoesNotStopAJobHandedItsOwn) {
  JobCancellation().Cancel();
  const bool done = RunUpgrade(WriteImage(ImageOf(300)));
  JobCancellation().Reset();
  EXPECT_TRUE(done) << console.Output();
  EXPECT_TRUE(board.WaitForFpgaImages(1));
}

TEST_F(FpgaUpgradeTest, HangUpMidTransferCanBeCancelled) {
  board.HangUpAtBlock(2);
  auto job = StartUpgrade(WriteImage(ImageOf(1000)));
  ASSERT_TRUE(board.WaitForFpgaBlocks(2));
  cancel.Cancel();
  ASSERT_EQ(job.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_FALSE(job.get());
  EXPECT_EQ(board.FpgaImagesReceived(), 0);
}

TEST_F(FpgaUpgradeTest, PortThatCannotBeOpened) {
  EXPECT_FALSE(UpgradeFpga(dir / "no-such-tty", WriteImage(ImageOf(10)), cancel, console));
  // The text of its own, then the port and the reason.
  EXPECT_EQ(console.Output(), std::string(kPrompt) + "Comport open failed 19200.\nPort " +
                                  (dir / "no-such-tty") +
                                  ": no such device; check the cable and the path.\r\n");
}
