#include "serial/CRS232.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "PtyLine.h"
#include "PtyPair.h"
#include "ScopedEnv.h"
#include "base/Cancellation.h"

using namespace pellux;

namespace {
int OpenDescriptorCount() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
}

// Cancels `token` from another thread after `delay`.
class CancelAfter {
 public:
  CancelAfter(CancelToken& token, std::chrono::milliseconds delay)
      : thread_([&token, delay] {
          std::this_thread::sleep_for(delay);
          token.Cancel();
        }) {}
  ~CancelAfter() { thread_.join(); }

 private:
  std::thread thread_;
};

class CRS232Test : public ::testing::Test {
 protected:
  CRS232Test() : map_("PUPDATE_PORT_MAP", "COM3=" + pty_.SlavePath()) { port_.portNumber = 3; }

  std::string ReadPort(int count) {
    std::string buffer(static_cast<size_t>(count), '\0');
    const int got = port_.Read(count, reinterpret_cast<uint8_t*>(buffer.data()));
    if (got < 0) return "<failed>";
    buffer.resize(static_cast<size_t>(got));
    return buffer;
  }

  PtyPair pty_;
  ScopedEnv map_;
  CancelToken cancel_;
  CRS232 port_{cancel_};
};
}  // namespace

TEST_F(CRS232Test, OpensTheMappedPortAtTheRequestedBaudRate) {
  port_.baudRate = 57600;
  ASSERT_TRUE(port_.Open());
  EXPECT_EQ(port_.isOpen, 1);
  EXPECT_EQ(pty_.LineBaudRate(), 57600);
  EXPECT_EQ(port_.timeoutMs, 5000);
}

TEST_F(CRS232Test, BytesTravelBothWays) {
  port_.baudRate = 57600;
  ASSERT_TRUE(port_.Open());
  uint8_t out[] = {0x7F, 0x00, 0xFF, '%'};
  EXPECT_EQ(port_.Write(4, out), 4);
  EXPECT_EQ(ReadFromMaster(pty_, 4), std::string("\x7F\x00\xFF%", 4));

  WriteToMaster(pty_, std::string("\x79\x1F\x00", 3));
  EXPECT_EQ(ReadPort(3), std::string("\x79\x1F\x00", 3));
}

TEST_F(CRS232Test, ReadReturnsFewerBytesWhenTheLineStaysQuiet) {
  ASSERT_TRUE(port_.Open());
  port_.SetTimeouts(200);
  WriteToMaster(pty_, "ab");
  EXPECT_EQ(ReadPort(10), "ab");
  EXPECT_EQ(ReadPort(1), "");
}

TEST_F(CRS232Test, ListenModeHandsBackTheEchoedBytesNotTheSentOnes) {
  ASSERT_TRUE(port_.Open());
  port_.echoMode = 2;
  // A device that answers every byte with its successor.
  std::thread device([&] {
    for (int i = 0; i < 2; ++i) {
      const std::string got = ReadFromMaster(pty_, 1);
      if (got.size() != 1) return;
      WriteToMaster(pty_, std::string(1, static_cast<char>(got[0] + 1)));
    }
  });
  uint8_t buffer[] = {'A', 'X'};
  EXPECT_EQ(port_.Write(2, buffer), 2);
  device.join();
  EXPECT_EQ(buffer[0], 'B');
  EXPECT_EQ(buffer[1], 'Y');
}

TEST_F(CRS232Test, ListenModeKeepsTheSentByteWhenNoEchoComes) {
  ASSERT_TRUE(port_.Open());
  port_.SetTimeouts(100);
  port_.echoMode = 2;
  uint8_t buffer[] = {'Q'};
  EXPECT_EQ(port_.Write(1, buffer), 1);
  EXPECT_EQ(buffer[0], 'Q');
  EXPECT_EQ(ReadFromMaster(pty_, 1), "Q");
}

TEST_F(CRS232Test, EchoModeSendsBackEveryByteRead) {
  ASSERT_TRUE(port_.Open());
  port_.echoMode = 1;
  WriteToMaster(pty_, "hi");
  EXPECT_EQ(ReadPort(2), "hi");
  EXPECT_EQ(ReadFromMaster(pty_, 2), "hi");
}

TEST_F(CRS232Test, EchoModeEchoesOnlyWhatArrivedWhenTheLineGoesQuiet) {
  ASSERT_TRUE(port_.Open());
  port_.SetTimeouts(150);
  port_.echoMode = 1;
  WriteToMaster(pty_, "z");
  EXPECT_EQ(ReadPort(3), "z");
  EXPECT_EQ(ReadFromMaster(pty_, 3, std::chrono::milliseconds(300)), "z");
}

TEST_F(CRS232Test, UnknownEchoModeFailsTheRead) {
  ASSERT_TRUE(port_.Open());
  port_.echoMode = 3;
  uint8_t byte = 0;
  EXPECT_EQ(port_.Read(1, &byte), -1);
}

TEST_F(CRS232Test, NullBuffersAndClosedPorts) {
  uint8_t byte = 0;
  EXPECT_EQ(port_.Read(1, &byte), -1);
  EXPECT_EQ(port_.Write(1, &byte), -1);
  ASSERT_TRUE(port_.Open());
  EXPECT_EQ(port_.Read(1, nullptr), 0);
  EXPECT_EQ(port_.Write(1, nullptr), 0);
  EXPECT_EQ(port_.Close(), 0);
  EXPECT_EQ(port_.isOpen, 0);
  EXPECT_EQ(port_.Write(1, &byte), -1);
}

TEST_F(CRS232Test, InvalidSettingsOpenNothing) {
  const auto tryOpen = [&](auto change) {
    CRS232 port(cancel_);
    port.portNumber = 3;
    change(port);
    const int before = OpenDescriptorCount();
    const bool opened = port.Open();
    EXPECT_EQ(OpenDescriptorCount(), before);
    EXPECT_EQ(port.isOpen, 0);
    return opened;
  };
  EXPECT_FALSE(tryOpen([](CRS232& p) { p.portNumber = 0; }));
  EXPECT_FALSE(tryOpen([](CRS232& p) { p.portNumber = 1000; }));
  EXPECT_FALSE(tryOpen([](CRS232& p) { p.baudRate = 0; }));
  EXPECT_FALSE(tryOpen([](CRS232& p) { p.dataBits = 4; }));
  EXPECT_FALSE(tryOpen([](CRS232& p) { p.dataBits = 10; }));
  EXPECT_FALSE(tryOpen([](CRS232& p) { p.parity = 3; }));
  EXPECT_FALSE(tryOpen([](CRS232& p) { p.parity = -1; }));
  EXPECT_FALSE(tryOpen([](CRS232& p) { p.stopBits = 0.5f; }));
  EXPECT_FALSE(tryOpen([](CRS232& p) { p.stopBits = 2.5f; }));
  EXPECT_FALSE(tryOpen([](CRS232& p) { p.portNumber = 4; }));  // COM4 is not mapped
}

TEST_F(CRS232Test, SettingsThePortCannotTakeFailAfterOpeningAndTheCallerCloses) {
  port_.dataBits = 9;  // valid for the fields, impossible on POSIX
  EXPECT_FALSE(port_.Open());
  EXPECT_EQ(port_.isOpen, 1);
  port_.Close();
  port_.dataBits = 8;
  port_.baudRate = 12345;  // no such line speed
  EXPECT_FALSE(port_.Open());
  port_.Close();
  EXPECT_EQ(port_.isOpen, 0);
}

TEST_F(CRS232Test, PortNameAndReopen) {
  port_.portName = pty_.SlavePath();
  port_.portNumber = 999;
  port_.baudRate = 115200;
  ASSERT_TRUE(port_.Open());
  EXPECT_EQ(pty_.LineBaudRate(), 115200);
  port_.Close();
  port_.baudRate = 9600;
  ASSERT_TRUE(port_.Open());
  EXPECT_EQ(pty_.LineBaudRate(), 9600);
  uint8_t byte = 'k';
  EXPECT_EQ(port_.Write(1, &byte), 1);
  EXPECT_EQ(ReadFromMaster(pty_, 1), "k");
}

TEST_F(CRS232Test, ModemLinesFailOnAPseudoTerminalAndNothingElseBreaks) {
  port_.lineControlOnOpen = true;
  ASSERT_TRUE(port_.Open());
  EXPECT_FALSE(port_.SetRts(true));
  EXPECT_FALSE(port_.SetDtr(false));
  uint8_t byte = 'r';
  EXPECT_EQ(port_.Write(1, &byte), 1);
  EXPECT_EQ(ReadFromMaster(pty_, 1), "r");
}

// Each port observes the token it was handed, not the process's job token:
// two users of ports (two jobs, a test beside a job) never stop each other.
TEST_F(CRS232Test, AReadOnASilentLineEndsWhenItsOwnTokenIsCancelled) {
  ASSERT_TRUE(port_.Open());
  port_.SetTimeouts(0);  // no time limit: only the token ends the wait
  uint8_t buffer[4] = {};
  int got = -2;
  {
    CancelAfter cancel(cancel_, std::chrono::milliseconds(100));
    got = port_.Read(4, buffer);
  }
  EXPECT_TRUE(cancel_.IsCancelled());
  EXPECT_EQ(got, 0);
  EXPECT_FALSE(JobCancellation().IsCancelled());
}

TEST_F(CRS232Test, TheProcessJobTokenDoesNotEndItsRead) {
  ASSERT_TRUE(port_.Open());
  port_.SetTimeouts(30000);
  JobCancellation().Cancel();
  std::thread device([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    WriteToMaster(pty_, "ok!");
  });
  uint8_t buffer[3] = {};
  const int got = port_.Read(3, buffer);
  device.join();
  JobCancellation().Reset();
  EXPECT_EQ(got, 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "ok!");
  EXPECT_EQ(port_.LastProblem(), CRS232::LineProblem::None);
}

TEST_F(CRS232Test, APortHandedAnotherTokenObservesThatOne) {
  ASSERT_TRUE(port_.Open());
  port_.SetTimeouts(0);  // no time limit: only a token ends a wait
  CancelToken next;
  port_.SetCancellation(next);
  cancel_.Cancel();  // the first token no longer stops it
  std::thread device([&] { WriteToMaster(pty_, "a"); });
  uint8_t byte = 0;
  EXPECT_EQ(port_.Read(1, &byte), 1);
  device.join();
  EXPECT_EQ(byte, 'a');
  int got = -2;
  {
    CancelAfter cancel(next, std::chrono::milliseconds(50));
    got = port_.Read(1, &byte);
  }
  EXPECT_EQ(got, 0);
}

TEST_F(CRS232Test, AReadAfterAHangUpFails) {
  ASSERT_TRUE(port_.Open());
  pty_.HangUp();
  uint8_t byte = 0;
  EXPECT_EQ(port_.Read(1, &byte), -1);
}
