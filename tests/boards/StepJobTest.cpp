#include <gtest/gtest.h>

#include <future>

#include "CapturingConsole.h"
#include "ScopedEnv.h"
#include "TestFiles.h"
#include "TestUpdateServer.h"
#include "VirtualStepDrive.h"
#include "base/Cancellation.h"
#include "boards/ProtocolImitation.h"
#include "jobs/ConsoleRunner.h"

using namespace pellux;

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr auto kGenerous = std::chrono::seconds(20);

std::string Record(uint8_t type, const Bytes& data) {
  std::string record{static_cast<char>(type), static_cast<char>(data.size() >> 8),
                     static_cast<char>(data.size() & 0xFF)};
  record.append(data.begin(), data.end());
  return record;
}

// Three master messages; the pauses after 0x11 (30 ms) and 0x20 (50 ms).
std::string ThreeMessageRecording() {
  return Record(1, {0x10, 0, 0x11, 3, 0x12, 0}) + Record(3, {0xEE, 0}) +
         Record(2, {0xA1, 0, 0xA2, 1}) + Record(1, {0x20, 5, 0x21, 0}) + Record(2, {0xB1, 0}) +
         Record(1, {0x30, 0});
}

std::future<bool> StartLocalJob(const std::string& recordPath) {
  return std::async(std::launch::async, [recordPath] {
    const char* argv[] = {"PUpdate-NR2-Step-COM6", recordPath.c_str(), "local"};
    return RunJobInConsole(3, argv);
  });
}

class StepJob : public ::testing::Test {
 protected:
  std::string RecordFile(const std::string& content) {
    const std::string path = dir_ / "step.rec";
    WriteFile(path, content);
    return path;
  }
  TempDir dir_;
  CapturingConsoleHost host_;
};

}  // namespace

TEST_F(StepJob, ReplaysEveryMasterByteInOrderWithItsPauses) {
  const std::string path = RecordFile(ThreeMessageRecording());
  VirtualStepDrive drive(VirtualStepDrive::ScriptFromRecordFile(path));
  drive.Start();
  ScopedEnv portMap("PUPDATE_PORT_MAP", "COM6=" + drive.PortPath());

  const auto started = Clock::now();
  ASSERT_TRUE(StartLocalJob(path).get());

  EXPECT_EQ(drive.LineBaudRate(), 9600);
  // The job ends once it has written the last byte; the drive may read it later.
  ASSERT_TRUE(drive.WaitForBytes(6));
  EXPECT_EQ(drive.Received(), (Bytes{0x10, 0x11, 0x12, 0x20, 0x21, 0x30}));
  const std::string output = host_.console.Output();
  EXPECT_NE(output.find("Protocol Imitation V1.0\r\n\r\nRecord File : " + path +
                        "\r\n\r\nSend Record file data.\r\n"
                        " Send Master : 0x10 0x11 0x12 \r\n"
                        " Send Master : 0x20 0x21 \r\n"
                        " Send Master : 0x30 \r\n"
                        "\r\nSuccess.\r\n"),
            std::string::npos)
      << output;

  // A pause lies between a byte and the next one: 0x12 cannot arrive much
  // before 30 ms after the start, nor 0x21 before 50 ms after the first reply
  // left (loose bounds: sleeps are only kept to the millisecond).
  ASSERT_TRUE(drive.WaitForReplies(3));
  const auto arrivals = drive.ArrivalTimes();
  const auto replies = drive.ReplyTimes();
  ASSERT_EQ(arrivals.size(), 6u);
  ASSERT_EQ(replies.size(), 3u);
  EXPECT_GE(arrivals[2] - started, std::chrono::milliseconds(25));
  EXPECT_GE(arrivals[4] - replies[0], std::chrono::milliseconds(45));
  EXPECT_GE(arrivals[3], replies[0]);  // the second message waited for the reply
  EXPECT_GE(arrivals[5], replies[1]);
}

TEST_F(StepJob, OnlineJobReplaysTheServersRecording) {
  TestUpdateServer server;
  server.AddFile("NR2", "STEP", "step-nr2.rec", ThreeMessageRecording());
  const std::string local = RecordFile(ThreeMessageRecording());
  VirtualStepDrive drive(VirtualStepDrive::ScriptFromRecordFile(local));
  drive.Start();
  ScopedEnv portMap("PUPDATE_PORT_MAP", "COM6=" + drive.PortPath());
  TempDir work;
  ScopedCurrentDir cwd(work.path());

  const char* argv[] = {"PUpdate-NR2-Step-COM6"};
  ASSERT_TRUE(RunJobInConsole(1, argv)) << host_.console.Output();
  ASSERT_TRUE(drive.WaitForBytes(6));
  EXPECT_EQ(drive.Received(), (Bytes{0x10, 0x11, 0x12, 0x20, 0x21, 0x30}));
  EXPECT_NE(host_.console.Output().find(" Send Master : 0x30 \r\n\r\nSuccess.\r\n"),
            std::string::npos);
}

TEST_F(StepJob, OnlyTheNumberOfReplyBytesMattersAndLateBytesAreIgnored) {
  const std::string path = RecordFile(ThreeMessageRecording());
  // Other values than recorded, the reply to the last message unexpected.
  VirtualStepDrive drive({{3, {0x00, 0xFF}}, {2, {0x55}}, {1, {0x99, 0x98, 0x97}}});
  drive.SetReplyDelay(std::chrono::milliseconds(20));
  drive.Start();
  ScopedEnv portMap("PUPDATE_PORT_MAP", "COM6=" + drive.PortPath());

  ASSERT_TRUE(StartLocalJob(path).get());
  ASSERT_TRUE(drive.WaitForBytes(6));
  EXPECT_EQ(drive.Received(), (Bytes{0x10, 0x11, 0x12, 0x20, 0x21, 0x30}));
  EXPECT_NE(host_.console.Output().find("\r\nSuccess.\r\n"), std::string::npos);
}

TEST_F(StepJob, CancelEndsTheWaitForAReply) {
  const std::string path = RecordFile(ThreeMessageRecording());
  VirtualStepDrive drive(VirtualStepDrive::ScriptFromRecordFile(path));
  drive.SetSilent(true);
  drive.Start();
  ScopedEnv portMap("PUPDATE_PORT_MAP", "COM6=" + drive.PortPath());

  auto job = StartLocalJob(path);
  ASSERT_TRUE(host_.console.WaitForOutput(" Send Master : 0x10 0x11 0x12 \r\n"));
  ASSERT_TRUE(drive.WaitForBytes(3));
  JobCancellation().Cancel();
  ASSERT_EQ(job.wait_for(kGenerous), std::future_status::ready);
  EXPECT_FALSE(job.get());
  EXPECT_EQ(drive.Received(), (Bytes{0x10, 0x11, 0x12}));
  EXPECT_EQ(host_.console.Output().find("Success."), std::string::npos);
}

TEST_F(StepJob, CancelEndsALongPause) {
  // 255 units: 2.55 s after the first byte.
  const std::string path =
      RecordFile(Record(1, {0x10, 255, 0x11, 0}) + Record(2, {0xA1, 0}) + Record(1, {0x20, 0}));
  VirtualStepDrive drive(VirtualStepDrive::ScriptFromRecordFile(path));
  drive.Start();
  ScopedEnv portMap("PUPDATE_PORT_MAP", "COM6=" + drive.PortPath());

  auto job = StartLocalJob(path);
  ASSERT_TRUE(drive.WaitForBytes(1));
  JobCancellation().Cancel();
  ASSERT_EQ(job.wait_for(kGenerous), std::future_status::ready);
  EXPECT_FALSE(job.get());
  EXPECT_EQ(drive.Received(), Bytes{0x10});
}

TEST_F(StepJob, RecordingThatEndsWithAReplyEndsOnceItIsCounted) {
  const std::string path = RecordFile(Record(1, {0x10, 0, 0x11, 0}) + Record(2, {0xA1, 0}) +
                                      Record(1, {0x20, 0}) + Record(2, {0xB1, 0, 0xB2, 0}));
  VirtualStepDrive drive(VirtualStepDrive::ScriptFromRecordFile(path));
  drive.Start();
  ScopedEnv portMap("PUPDATE_PORT_MAP", "COM6=" + drive.PortPath());

  auto job = StartLocalJob(path);
  ASSERT_EQ(job.wait_for(kGenerous), std::future_status::ready) << host_.console.Output();
  EXPECT_TRUE(job.get()) << host_.console.Output();
  EXPECT_EQ(drive.Received(), (Bytes{0x10, 0x11, 0x20}));
  EXPECT_TRUE(drive.WaitForReplies(2));
  EXPECT_NE(host_.console.Output().find(" Send Master : 0x10 0x11 \r\n"
                                        " Send Master : 0x20 \r\n"
                                        "\r\nSuccess.\r\n"),
            std::string::npos)
      << host_.console.Output();
}

TEST_F(StepJob, RecordingThatEndsWithAReplyWaitsForAllOfIt) {
  const std::string path = RecordFile(Record(1, {0x10, 0}) + Record(2, {0xA1, 0, 0xA2, 0}));
  // One byte of the two the recording awaits.
  VirtualStepDrive drive(std::vector<VirtualStepDrive::Exchange>{{1, {0x55}}});
  drive.Start();
  ScopedEnv portMap("PUPDATE_PORT_MAP", "COM6=" + drive.PortPath());

  auto job = StartLocalJob(path);
  ASSERT_TRUE(drive.WaitForReplies(1));
  EXPECT_EQ(job.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  JobCancellation().Cancel();
  ASSERT_EQ(job.wait_for(kGenerous), std::future_status::ready);
  EXPECT_FALSE(job.get());
  EXPECT_EQ(host_.console.Output().find("Success."), std::string::npos);
}

TEST_F(StepJob, RecordingThatCannotEndIsRefusedBeforeAnythingIsSent) {
  const std::string path =
      RecordFile(Record(1, {0x10, 0}) + Record(2, {0xA1, 0}) + Record(2, {0xA2, 0}));
  VirtualStepDrive drive(VirtualStepDrive::ScriptFromRecordFile(path));
  drive.Start();
  ScopedEnv portMap("PUPDATE_PORT_MAP", "COM6=" + drive.PortPath());

  EXPECT_FALSE(StartLocalJob(path).get());
  EXPECT_NE(host_.console.Output().find(
                "Record file cannot be replayed: it holds 1 master and 2 slave records; a replay "
                "needs as many master records as slave records, or one more. (" +
                path + ")\r\n"),
            std::string::npos)
      << host_.console.Output();
  EXPECT_TRUE(drive.Received().empty());
}

TEST(RunImitation, RefusalsBeforeThePortIsUsed) {
  TempDir dir;
  CapturingConsole console;
  ScopedActiveConsole active(console);
  EXPECT_EQ(RunImitation({"a"}), 0);
  EXPECT_EQ(console.Output(), "Usage : [Record File] [Slave commImi Port] [Baudrate]\r\n");

  console.ClearOutput();
  EXPECT_EQ(RunImitation({dir / "missing.rec", "COM6", "9600"}), 0);
  EXPECT_EQ(console.Output(),
            "Protocol Imitation V1.0\r\n\r\nRecord File : " + (dir / "missing.rec") +
                "\r\n\r\nRecord file open failed. (" + (dir / "missing.rec") + ")");

  console.ClearOutput();
  WriteFile(dir / "ok.rec", Record(1, {0x10, 0}) + Record(2, {0xA1, 0}) + Record(1, {0x20, 0}));
  EXPECT_EQ(RunImitation({dir / "ok.rec", "COM78", "9600"}), 0);
  EXPECT_NE(console.Output().find("commImi port open failed. ( COM78 )\r\n"), std::string::npos);
}
