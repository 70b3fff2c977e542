// The Win32 backends that need no device: the wake-up event, cancellation,
// program location, local time, port names and the port list.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "TestFiles.h"
#include "base/Cancellation.h"
#include "base/LocalTime.h"
#include "base/ProgramLocation.h"
#include "base/WakeUp.h"
#include "serial/PortDevices.h"
#include "serial/PortEnumeration.h"
#include "serial/PortNames.h"

using namespace pellux;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(WindowsWakeUp, SignalWakesAWaitUntilCleared) {
  WakeUp wake;
  ASSERT_NE(wake.NativeHandle(), -1);
  EXPECT_FALSE(wake.Wait(0));
  std::thread signaller([&] { wake.Signal(); });
  EXPECT_TRUE(wake.Wait(30000));
  signaller.join();
  EXPECT_TRUE(wake.Wait(0));  // stays signalled
  wake.Clear();
  EXPECT_FALSE(wake.Wait(0));
}

TEST(WindowsCancellation, CancelEndsASleepAndResetRearmsIt) {
  CancelToken token;
  std::thread canceller([&] {
    std::this_thread::sleep_for(50ms);
    token.Cancel();
  });
  EXPECT_FALSE(token.SleepFor(std::chrono::minutes(10)));
  canceller.join();
  EXPECT_TRUE(token.IsCancelled());
  token.Reset();
  EXPECT_FALSE(token.IsCancelled());
  EXPECT_TRUE(token.SleepFor(1ms));
}

TEST(WindowsProgramLocation, ModuleFileAndFabro) {
  const fs::path program = RunningProgramPath();
  EXPECT_EQ(program.extension(), ".exe") << program.string();
  EXPECT_TRUE(program.is_absolute());
  EXPECT_EQ(DefaultApplicationDirectory().string(), "C:\\Fabro");
}

TEST(WindowsLocalTime, BrokenDownAsTheRuntimeSeesIt) {
  const std::time_t when = 1500000001;
  const std::tm local = LocalTimeOf(when);
  std::tm copy = local;
  EXPECT_EQ(std::mktime(&copy), when);
  EXPECT_EQ(local.tm_year, 117);
}

TEST(WindowsPorts, DevicePathsAndTheRegistryList) {
  EXPECT_EQ(DevicePathOfPort("COM12"), "\\\\.\\COM12");
  EXPECT_EQ(DevicePathOfPort("CNCA0"), "\\\\.\\CNCA0");
  EXPECT_EQ(DevicePathOfPort(""), "");
  EXPECT_EQ(DevicePathOfPort("..\\x"), "");
  // PUPDATE_PORT_MAP is honoured on Windows too: its aliases join the
  // registry's ports, all in natural order.
  ASSERT_EQ(_putenv_s("PUPDATE_PORT_MAP", "COM10=\\\\.\\COM3,COM2=\\\\.\\COM5"), 0);
  const std::vector<std::string> ports = EnumerateSystemPorts();
  _putenv_s("PUPDATE_PORT_MAP", "");
  const auto at = [&](const char* name) { return std::find(ports.begin(), ports.end(), name); };
  ASSERT_NE(at("COM10"), ports.end());
  ASSERT_NE(at("COM2"), ports.end());
  EXPECT_LT(at("COM2"), at("COM10"));
  EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(), ComPortLess));
}
