#include "serial/SerialPort.h"

#include <gtest/gtest.h>

#include <termios.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "PtyLine.h"
#include "PtyPair.h"
#include "base/Cancellation.h"
#include "base/WakeUp.h"

using namespace pellux;

namespace {
constexpr int kGenerousMs = 10000;

PortOpenResult OpenPort(SerialPort& port, const std::string& name, const PortLine& line) {
  std::string path;
  std::string failure;
  const PortOpenResult result = port.Open(name, line, path, failure);
  if (result == PortOpenResult::OpenFailed) {
    EXPECT_FALSE(failure.empty());
  } else {
    EXPECT_EQ(path, name);
  }
  return result;
}

PortLine Line(int baud, int parity = 0) {
  PortLine line;
  line.baudRate = baud;
  line.parity = parity;
  return line;
}
}  // namespace

TEST(WakeUp, SignalEndsAWaitUntilCleared) {
  WakeUp wake;
  ASSERT_GE(wake.NativeHandle(), 0);
  EXPECT_FALSE(wake.Wait(0));
  wake.Signal();
  wake.Signal();  // more signals are one wake-up
  EXPECT_TRUE(wake.Wait(0));
  EXPECT_TRUE(wake.Wait(0));  // stays signalled for every later wait
  wake.Clear();
  EXPECT_FALSE(wake.Wait(0));

  std::thread signaller([&] { wake.Signal(); });
  EXPECT_TRUE(wake.Wait(-1));  // would hang forever if the signal were lost
  signaller.join();
}

TEST(SerialPort, OpensWithTheLineSettingsAndMovesBytesBothWays) {
  PtyPair pty;
  SerialPort port;
  ASSERT_EQ(OpenPort(port, pty.SlavePath(), Line(57600)), PortOpenResult::Opened);
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(pty.LineBaudRate(), 57600);
  const termios line = pty.LineSettings();
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(line.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(line.c_lflag & ICANON, 0u);

  char buffer[16];
  EXPECT_EQ(port.ReadNow(buffer, sizeof buffer), 0);  // nothing there: no waiting
  EXPECT_EQ(port.WriteNow("\x7F\x00", 2), 2);
  EXPECT_EQ(ReadFromMaster(pty, 2), std::string("\x7F\x00", 2));

  WriteToMaster(pty, "ok");
  ASSERT_EQ(port.WaitReadable(kGenerousMs, JobCancellation()), PortWaitResult::Ready);
  std::string got;
  while (got.size() < 2) {
    const long n = port.ReadNow(buffer, sizeof buffer);
    ASSERT_GE(n, 0);
    got.append(buffer, static_cast<size_t>(n));
    if (n == 0) port.WaitReadable(kGenerousMs, JobCancellation());
  }
  EXPECT_EQ(got, "ok");

  ASSERT_TRUE(port.SetBaudRate(115200));
  EXPECT_EQ(pty.LineBaudRate(), 115200);
  EXPECT_FALSE(port.SetBaudRate(12345));
  port.Close();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.SetBaudRate(9600));
}

TEST(SerialPort, ParityOnAPseudoTerminalOpensAgainAndAgain) {
  // The pseudo-terminal drops the parity bit; once configured, the C library
  // reports that as an error although the settings were applied.
  PtyPair pty;
  SerialPort port;
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(OpenPort(port, pty.SlavePath(), Line(57600, 2)), PortOpenResult::Opened) << round;
    EXPECT_EQ(pty.LineBaudRate(), 57600);
    port.Close();
  }
}

TEST(SerialPort, RefusedSettingsLeaveTheDeviceOpenAndMissingDevicesNothing) {
  PtyPair pty;
  SerialPort port;
  EXPECT_EQ(OpenPort(port, pty.SlavePath(), Line(12345)), PortOpenResult::SettingsRefused);
  EXPECT_TRUE(port.IsOpen());
  port.Close();
  PortLine nineBits = Line(9600);
  nineBits.dataBits = 9;
  EXPECT_EQ(OpenPort(port, pty.SlavePath(), nineBits), PortOpenResult::SettingsRefused);
  port.Close();
  EXPECT_EQ(OpenPort(port, "/dev/pupdate-no-such-port", Line(9600)), PortOpenResult::OpenFailed);
  EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPort, WaitsEndByTimeOutOrCancellation) {
  PtyPair pty;
  SerialPort port;
  ASSERT_EQ(OpenPort(port, pty.SlavePath(), Line(9600)), PortOpenResult::Opened);
  CancelToken cancel;
  EXPECT_EQ(port.WaitReadable(1, cancel), PortWaitResult::TimedOut);

  std::thread canceller([&] { cancel.Cancel(); });
  // No time limit: only the cancellation can end this wait.
  EXPECT_EQ(port.WaitReadable(-1, cancel), PortWaitResult::Cancelled);
  canceller.join();
  EXPECT_EQ(port.WaitWritable(-1, cancel), PortWaitResult::Cancelled);
}

TEST(SerialPort, ReaderWaitReportsArrivalWakeUpAndAHungUpLine) {
  PtyPair pty;
  SerialPort port;
  ASSERT_EQ(OpenPort(port, pty.SlavePath(), Line(9600)), PortOpenResult::Opened);
  WakeUp wake;

  WriteToMaster(pty, "x");
  EXPECT_EQ(port.WaitForInput(wake), PortInput::Arrived);
  char byte = 0;
  ASSERT_EQ(port.ReadNow(&byte, 1), 1);
  EXPECT_EQ(byte, 'x');

  std::thread waker([&] { wake.Signal(); });
  EXPECT_EQ(port.WaitForInput(wake), PortInput::Woken);
  waker.join();
  wake.Clear();

  pty.HangUp();
  PortInput input = port.WaitForInput(wake);
  if (input == PortInput::Arrived) {
    EXPECT_LE(port.ReadNow(&byte, 1), 0);
    input = port.WaitForInput(wake);
  }
  EXPECT_EQ(input, PortInput::LineGone);
}
