#include "serial/SerialCommunication.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "CapturingConsole.h"
#include "PtyLine.h"
#include "PtyPair.h"
#include "ScopedEnv.h"
#include "base/Cancellation.h"

using namespace pellux;

namespace {
constexpr auto kPatience = std::chrono::seconds(5);

// The token of ports that nothing here cancels.
const CancelToken& Running() {
  static const CancelToken token;
  return token;
}

// Collects what arrives, as a protocol class would.
class RecordingPort : public SerialCommunication {
 public:
  explicit RecordingPort(const CancelToken& cancel = Running()) : SerialCommunication(cancel) {}
  ~RecordingPort() override { Close(); }

  int Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  std::string WaitForBytes(size_t count) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, kPatience, [&] { return received_.size() >= count; });
    return received_;
  }

  bool closeInsideOnReceive = false;

 protected:
  void OnReceive() override {
    char buffer[64];
    size_t count = 0;
    std::string got;
    while (Read(buffer, sizeof buffer, &count) && count > 0) got.append(buffer, count);
    {
      std::lock_guard lock(mutex_);
      ++calls_;
      received_ += got;
    }
    arrived_.notify_all();
    if (closeInsideOnReceive) Close();
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  int calls_ = 0;
  std::string received_;
};

class SerialCommunicationTest : public ::testing::Test {
 protected:
  SerialCommunicationTest() : map_("PUPDATE_PORT_MAP", "COM3=" + pty_.SlavePath()) {}

  void Configure(SerialCommunication& port, int baud, int stopBits = 1) {
    SerialSettings settings;
    settings.portName = "COM3";
    settings.baudRate = baud;
    settings.stopBits = stopBits;
    port.Configure(settings);
  }

  PtyPair pty_;
  ScopedEnv map_;
};
}  // namespace

TEST_F(SerialCommunicationTest, OpensComThreeThroughTheMapAtTheRequestedRate) {
  RecordingPort port;
  Configure(port, 19200);
  ASSERT_TRUE(port.Open());
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(pty_.LineBaudRate(), 19200);
  const termios line = pty_.LineSettings();
  EXPECT_EQ(line.c_cflag & CSTOPB, 0u);
}

TEST_F(SerialCommunicationTest, ParityOnAPseudoTerminalOpensAgainLikeTheBootloaderPort) {
  // Both port classes share one open path, so the pseudo-terminal's dropped
  // parity bit no longer fails the second open of an even-parity line.
  RecordingPort port;
  SerialSettings settings;
  settings.portName = "COM3";
  settings.baudRate = 57600;
  settings.parity = 2;
  port.Configure(settings);
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(port.Open()) << round;
    EXPECT_EQ(pty_.LineBaudRate(), 57600);
    ASSERT_TRUE(port.Close());
  }
}

TEST_F(SerialCommunicationTest, BytesBothWaysAndOnReceiveOnlyOnArrival) {
  RecordingPort port;
  Configure(port, 9600);
  ASSERT_TRUE(port.Open());
  const std::string frame("\x02\x00\xFF\x03", 4);
  ASSERT_TRUE(port.Write(frame.data(), frame.size()));
  EXPECT_TRUE(port.WriteByte('!'));
  EXPECT_EQ(ReadFromMaster(pty_, 5), frame + "!");
  EXPECT_EQ(port.Calls(), 0);  // our own writes are not arrivals

  WriteToMaster(pty_, "ACK");
  EXPECT_EQ(port.WaitForBytes(3), "ACK");
  EXPECT_GE(port.Calls(), 1);
}

TEST_F(SerialCommunicationTest, WriteReportsTheCountWritten) {
  RecordingPort port;
  Configure(port, 9600);
  ASSERT_TRUE(port.Open());
  size_t written = 0;
  EXPECT_TRUE(port.Write("abcdef", 6, &written));
  EXPECT_EQ(written, 6u);
  EXPECT_EQ(ReadFromMaster(pty_, 6), "abcdef");
}

TEST_F(SerialCommunicationTest, ReadReturnsAtOnceOnAQuietLine) {
  RecordingPort port;
  Configure(port, 9600);
  ASSERT_TRUE(port.Open());
  char buffer[8];
  size_t count = 99;
  EXPECT_TRUE(port.Read(buffer, sizeof buffer, &count));
  EXPECT_EQ(count, 0u);
}

TEST_F(SerialCommunicationTest, ReadAndWriteOnAClosedPortFail) {
  RecordingPort port;
  Configure(port, 9600);
  char buffer[8];
  size_t count = 99;
  EXPECT_FALSE(port.Read(buffer, sizeof buffer, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(port.Write("x", 1));
  EXPECT_FALSE(port.WriteByte('x'));
}

TEST_F(SerialCommunicationTest, DefaultOnReceivePrintsThePerCentSignAsItIs) {
  CapturingConsole console;
  ScopedActiveConsole active(console);
  SerialCommunication port(Running());
  Configure(port, 19200);
  ASSERT_TRUE(port.Open());
  const std::string text = "100%s done %d %%\r\n";
  WriteToMaster(pty_, text);
  EXPECT_TRUE(console.WaitForOutput(text));
  EXPECT_EQ(console.Output(), text);
  EXPECT_TRUE(port.Close());
}

TEST_F(SerialCommunicationTest, SetBaudRateIsSeenOnTheDeviceSide) {
  RecordingPort port;
  Configure(port, 19200);
  ASSERT_TRUE(port.Open());
  ASSERT_TRUE(port.SetBaudRate(115200));
  EXPECT_EQ(pty_.LineBaudRate(), 115200);
  EXPECT_TRUE(port.IsOpen());
  port.WriteByte('C');
  EXPECT_EQ(ReadFromMaster(pty_, 1), "C");
}

TEST_F(SerialCommunicationTest, AFailedSetBaudRateClosesThePort) {
  RecordingPort port;
  Configure(port, 19200);
  ASSERT_TRUE(port.Open());
  EXPECT_FALSE(port.SetBaudRate(12345));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.WriteByte('x'));
  EXPECT_FALSE(port.Close());
}

TEST_F(SerialCommunicationTest, ReopenAfterClose) {
  RecordingPort port;
  Configure(port, 19200);
  ASSERT_TRUE(port.Open());
  EXPECT_TRUE(port.Close());
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.Close());
  Configure(port, 57600);
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(pty_.LineBaudRate(), 57600);
  WriteToMaster(pty_, "again");
  EXPECT_EQ(port.WaitForBytes(5), "again");
}

TEST_F(SerialCommunicationTest, CloseOnAPortNeverOpenedReturnsFalse) {
  RecordingPort port;
  EXPECT_FALSE(port.Close());
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialCommunicationTest, UnknownPortsAndImpossibleSettingsFailTheOpen) {
  RecordingPort port;
  SerialSettings settings;
  settings.portName = "COM4";
  port.Configure(settings);
  EXPECT_FALSE(port.Open());
  settings.portName = "COM3";
  settings.baudRate = 12345;
  port.Configure(settings);
  EXPECT_FALSE(port.Open());
  settings.baudRate = 9600;
  settings.dataBits = 9;
  port.Configure(settings);
  EXPECT_FALSE(port.Open());
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.Close());
}

TEST_F(SerialCommunicationTest, StopBitsOtherThanOneOrTwoBecomeTwo) {
  for (int stopBits : {0, 2, 3}) {
    RecordingPort port;
    Configure(port, 9600, stopBits);
    ASSERT_TRUE(port.Open());
    EXPECT_NE(pty_.LineSettings().c_cflag & CSTOPB, 0u) << stopBits;
  }
}

TEST_F(SerialCommunicationTest, CloseFromInsideOnReceiveEndsTheReader) {
  RecordingPort port;
  port.closeInsideOnReceive = true;
  Configure(port, 9600);
  ASSERT_TRUE(port.Open());
  WriteToMaster(pty_, "bye");
  EXPECT_EQ(port.WaitForBytes(3), "bye");
  for (int i = 0; i < 500 && port.IsOpen(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(port.IsOpen());
  Configure(port, 9600);
  port.closeInsideOnReceive = false;
  ASSERT_TRUE(port.Open());
  WriteToMaster(pty_, "more");
  EXPECT_EQ(port.WaitForBytes(7), "byemore");
}

TEST_F(SerialCommunicationTest, CloseWaitsForARunningOnReceive) {
  class SlowPort : public SerialCommunication {
   public:
    SlowPort() : SerialCommunication(Running()) {}
    ~SlowPort() override { Close(); }
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool release = false;
    bool finished = false;

   protected:
    void OnReceive() override {
      char buffer[16];
      size_t count = 0;
      Read(buffer, sizeof buffer, &count);
      std::unique_lock lock(mutex);
      entered = true;
      changed.notify_all();
      changed.wait_for(lock, kPatience, [&] { return release; });
      finished = true;
    }
  } port;
  Configure(port, 9600);
  ASSERT_TRUE(port.Open());
  WriteToMaster(pty_, "x");
  {
    std::unique_lock lock(port.mutex);
    ASSERT_TRUE(port.changed.wait_for(lock, kPatience, [&] { return port.entered; }));
  }
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::lock_guard lock(port.mutex);
    port.release = true;
    port.changed.notify_all();
  });
  EXPECT_TRUE(port.Close());
  {
    std::lock_guard lock(port.mutex);
    EXPECT_TRUE(port.finished);
  }
  releaser.join();
}

TEST_F(SerialCommunicationTest, AHungUpLineFailsWritesAndStillCloses) {
  RecordingPort port;
  Configure(port, 9600);
  ASSERT_TRUE(port.Open());
  pty_.HangUp();
  EXPECT_FALSE(port.WriteByte('x'));
  EXPECT_TRUE(port.Close());
}

// A write that has to wait for the line observes the port's own token: the
// process's job token, cancelled meanwhile, does not fail it.
TEST_F(SerialCommunicationTest, ALongWriteIgnoresTheProcessJobToken) {
  CancelToken own;
  RecordingPort port(own);
  Configure(port, 115200);
  ASSERT_TRUE(port.Open());
  const std::string data(256 * 1024, 'w');
  JobCancellation().Cancel();
  std::string received;
  std::thread device(
      [&] { received = ReadFromMaster(pty_, data.size(), std::chrono::seconds(30)); });
  size_t written = 0;
  const bool ok = port.Write(data.data(), data.size(), &written);
  device.join();
  JobCancellation().Reset();
  EXPECT_TRUE(ok);
  EXPECT_EQ(written, data.size());
  EXPECT_EQ(received, data);
  EXPECT_TRUE(port.Close());
}
