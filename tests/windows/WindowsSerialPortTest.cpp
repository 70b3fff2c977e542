// The Win32 serial port under Wine against a pseudo-terminal on the Linux
// side that echoes every byte (the test script links it as COM9).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/Cancellation.h"
#include "base/WakeUp.h"
#include "serial/PortDevices.h"
#include "serial/SerialPort.h"

using namespace pellux;

using namespace std::chrono_literals;

namespace {
const PortLine kBootloaderLine{57600, 8, 2, false};

std::string ReadEcho(SerialPort& port, size_t count) {
  std::string got;
  CancelToken cancel;
  while (got.size() < count) {
    if (port.WaitReadable(30000, cancel) != PortWaitResult::Ready) break;
    char chunk[64];
    const long n = port.ReadNow(chunk, sizeof chunk);
    if (n <= 0) break;
    got.append(chunk, static_cast<size_t>(n));
  }
  return got;
}
}  // namespace

TEST(WindowsSerialPort, EchoAtEvenParityAndReopen) {
  for (int round = 0; round < 2; ++round) {  // the second open meets the line as the first left it
    SerialPort port;
    std::string path, failure;
    ASSERT_EQ(port.Open("COM9", kBootloaderLine, path, failure), PortOpenResult::Opened)
        << "round " << round;
    EXPECT_EQ(port.WriteNow("ping", 4), 4);
    EXPECT_EQ(ReadEcho(port, 4), "ping");
    EXPECT_TRUE(port.SetBaudRate(115200));
    const std::string block(300, 'b');
    EXPECT_EQ(port.WriteNow(block.data(), block.size()), 300);
    EXPECT_EQ(ReadEcho(port, 300), block);
    char none[8];
    EXPECT_EQ(port.ReadNow(none, sizeof none), 0);
    port.Close();
    EXPECT_FALSE(port.IsOpen());
  }
}

TEST(WindowsSerialPort, WaitsEndByTimeOutCancellationOrWakeUp) {
  SerialPort port;
  std::string path, failure;
  ASSERT_EQ(port.Open("COM9", PortLine{19200, 8, 0, false}, path, failure), PortOpenResult::Opened);
  CancelToken cancel;
  EXPECT_EQ(port.WaitReadable(50, cancel), PortWaitResult::TimedOut);

  std::thread canceller([&] {
    std::this_thread::sleep_for(100ms);
    cancel.Cancel();
  });
  EXPECT_EQ(port.WaitReadable(-1, cancel), PortWaitResult::Cancelled);
  canceller.join();

  WakeUp wake;
  std::thread waker([&] {
    std::this_thread::sleep_for(100ms);
    wake.Signal();
  });
  EXPECT_EQ(port.WaitForInput(wake), PortInput::Woken);
  waker.join();

  // Nothing was lost to the abandoned waits: the line still echoes.
  wake.Clear();
  EXPECT_EQ(port.WriteNow("after", 5), 5);
  EXPECT_EQ(port.WaitForInput(wake), PortInput::Arrived);
  EXPECT_EQ(ReadEcho(port, 5), "after");
}

TEST(WindowsSerialPort, MissingPortFailsToOpen) {
  SerialPort port;
  std::string path, failure;
  EXPECT_EQ(port.Open("COM77", kBootloaderLine, path, failure), PortOpenResult::OpenFailed);
  EXPECT_FALSE(port.IsOpen());
  char byte;
  EXPECT_EQ(port.ReadNow(&byte, 1), -1);
}
