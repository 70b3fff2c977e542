#include "VirtualDevice.h"

#include <gtest/gtest.h>

#include <condition_variable>

#include "ScopedEnv.h"
#include "base/Cancellation.h"
#include "serial/CRS232.h"

using namespace pellux;

namespace {
constexpr auto kPatience = std::chrono::seconds(5);

// Answers every byte it accepts with the same byte.
class EchoDevice : public VirtualDevice {
 public:
  EchoDevice() : VirtualDevice("echo") {}
  ~EchoDevice() override { Stop(); }

  size_t WaitForNoise(size_t bytes) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, kPatience, [&] { return noise_ >= bytes; });
    return noise_;
  }
  size_t WaitForReceived(size_t bytes) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, kPatience, [&] { return received_ >= bytes; });
    return received_;
  }
  using VirtualDevice::Send;

  bool answer = true;
  bool hangUpOnReceive = false;

 protected:
  void OnReceived(const uint8_t* data, size_t size) override {
    if (hangUpOnReceive) HangUp();
    if (answer) Send(data, size);
    std::lock_guard lock(mutex_);
    received_ += size;
    changed_.notify_all();
  }
  void OnNoise(size_t size) override {
    std::lock_guard lock(mutex_);
    noise_ += size;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t noise_ = 0;
  size_t received_ = 0;
};

class VirtualDeviceTest : public ::testing::Test {
 protected:
  VirtualDeviceTest() : map_("PUPDATE_PORT_MAP", "COM5=" + device_.PortPath()) {
    port_.portNumber = 5;
    port_.parity = 0;
    device_.Start();
  }

  bool OpenAt(int baud) {
    port_.baudRate = baud;
    if (!port_.Open()) return false;
    port_.SetTimeouts(300);
    return true;
  }
  std::string Exchange(const std::string& text, size_t answer) {
    std::string bytes = text;
    port_.Write(static_cast<int>(bytes.size()), reinterpret_cast<uint8_t*>(bytes.data()));
    std::string got(answer, '\0');
    const int n = port_.Read(static_cast<int>(answer), reinterpret_cast<uint8_t*>(got.data()));
    got.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return got;
  }

  EchoDevice device_;
  ScopedEnv map_;
  const CancelToken cancel_;
  CRS232 port_{cancel_};
};
}  // namespace

TEST_F(VirtualDeviceTest, SeesTheLineRateTheProgramSet) {
  ASSERT_TRUE(OpenAt(57600));
  EXPECT_EQ(device_.LineBaudRate(), 57600);
  EXPECT_EQ(Exchange("ping", 4), "ping");
  EXPECT_EQ(device_.Received(), (std::vector<uint8_t>{'p', 'i', 'n', 'g'}));
}

TEST_F(VirtualDeviceTest, BytesAtTheWrongBaudRateAreNoise) {
  device_.SetExpectedBaud(19200);
  ASSERT_TRUE(OpenAt(115200));
  std::string bytes = "\x0E";
  port_.Write(1, reinterpret_cast<uint8_t*>(bytes.data()));
  EXPECT_EQ(device_.WaitForNoise(1), 1u);
  EXPECT_TRUE(device_.Received().empty());

  port_.Close();
  ASSERT_TRUE(OpenAt(19200));
  EXPECT_EQ(Exchange("ok", 2), "ok");
  EXPECT_EQ(device_.Received(), (std::vector<uint8_t>{'o', 'k'}));
}

TEST_F(VirtualDeviceTest, AnswersAtTheWrongBaudRateArriveGarbled) {
  device_.SetExpectedBaud(19200);
  ASSERT_TRUE(OpenAt(115200));
  device_.Send("ABC");
  std::string got(3, '\0');
  ASSERT_EQ(port_.Read(3, reinterpret_cast<uint8_t*>(got.data())), 3);
  for (size_t i = 0; i < 3; ++i) EXPECT_NE(got[i], "ABC"[i]) << i;
}

TEST_F(VirtualDeviceTest, DroppedAndCorruptedBytes) {
  ASSERT_TRUE(OpenAt(9600));
  device_.SetDropEveryNth(2);
  EXPECT_EQ(Exchange("ABCD", 4), "AC");
  device_.SetDropEveryNth(0);
  device_.SetCorruptEveryNth(3);
  // Four bytes already went out: the 6th and 9th bytes sent are flipped.
  EXPECT_EQ(Exchange("abcde", 5),
            std::string("a") + static_cast<char>('b' ^ 1) + "cd" + static_cast<char>('e' ^ 1));
}

TEST_F(VirtualDeviceTest, NoiseGarblesEverything) {
  ASSERT_TRUE(OpenAt(9600));
  device_.SetNoise(true);
  const std::string got = Exchange("xyz", 3);
  ASSERT_EQ(got.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_NE(got[i], "xyz"[i]) << i;
}

TEST_F(VirtualDeviceTest, SilentDeviceReceivesButNeverAnswers) {
  ASSERT_TRUE(OpenAt(9600));
  device_.SetSilent(true);
  EXPECT_EQ(Exchange("hello", 5), "");
  EXPECT_EQ(device_.WaitForReceived(5), 5u);
}

TEST_F(VirtualDeviceTest, PacedAnswersArriveWhole) {
  ASSERT_TRUE(OpenAt(115200));
  device_.SetPacing(true);
  EXPECT_EQ(Exchange("paced line", 10), "paced line");
}

TEST_F(VirtualDeviceTest, HangUpEndsTheLine) {
  ASSERT_TRUE(OpenAt(9600));
  std::vector<std::string> log;
  device_.SetLogger([&](const std::string& line) { log.push_back(line); });
  device_.HangUp();
  EXPECT_TRUE(device_.IsHungUp());
  uint8_t byte = 0;
  EXPECT_EQ(port_.Read(1, &byte), -1);
  port_.Close();
  EXPECT_FALSE(OpenAt(9600));
  device_.SetLogger(nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"echo: line hung up"}));
}

TEST_F(VirtualDeviceTest, StartAndStopAreIdempotent) {
  device_.Start();
  device_.Stop();
  device_.Stop();
  device_.Start();
  device_.Start();
  ASSERT_TRUE(OpenAt(9600));
  EXPECT_EQ(Exchange("again", 5), "again");
  device_.ClearReceived();
  EXPECT_TRUE(device_.Received().empty());
}

TEST_F(VirtualDeviceTest, HangUpFromTheDeviceThreadInTheMiddleOfAnExchange) {
  ASSERT_TRUE(OpenAt(9600));
  device_.hangUpOnReceive = true;
  EXPECT_EQ(Exchange("x", 1), "");  // no answer: the line went down first
  EXPECT_TRUE(device_.IsHungUp());
  uint8_t byte = 0;
  EXPECT_EQ(port_.Read(1, &byte), -1);
  device_.HangUp();  // a second hang-up changes nothing
  device_.Stop();
}
