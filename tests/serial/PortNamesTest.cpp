#include "serial/PortNames.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "PtyPair.h"
#include "ScopedEnv.h"
#include "TestFiles.h"
#include "serial/PortEnumeration.h"

using namespace pellux;

using Names = std::vector<std::string>;

namespace {
Names Sorted(Names names) {
  SortPortNames(names);
  return names;
}
}  // namespace

TEST(ComPortLess, NumberedPortsInNaturalOrder) {
  EXPECT_EQ(Sorted({"COM10", "COM2", "COM1"}), (Names{"COM1", "COM2", "COM10"}));
  EXPECT_TRUE(ComPortLess("COM2", "COM10"));
  EXPECT_FALSE(ComPortLess("COM10", "COM2"));
  EXPECT_FALSE(ComPortLess("COM3", "COM3"));
}

TEST(ComPortLess, NamesWithoutANumberCompareAsBytes) {
  EXPECT_TRUE(ComPortLess("CNCA0", "COM1"));
  EXPECT_FALSE(ComPortLess("COM1", "CNCA0"));
  EXPECT_TRUE(ComPortLess("CNCA0", "CNCB0"));
  EXPECT_TRUE(ComPortLess("COM10", "ttyS0"));  // "ttyS0" has no leading digits
  EXPECT_EQ(Sorted({"ttyUSB0", "COM2", "CNCA0", "COM10"}),
            (Names{"CNCA0", "COM2", "COM10", "ttyUSB0"}));
  // Bytes compare unsigned: a high byte comes after ASCII.
  EXPECT_TRUE(ComPortLess("COMA", "COM\xC0"));
}

TEST(ComPortLess, TextToIntConversionRules) {
  EXPECT_TRUE(ComPortLess("COM 5", "COM10"));  // leading blank
  EXPECT_TRUE(ComPortLess("COM-1", "COM0"));   // sign
  EXPECT_TRUE(ComPortLess("COM+3", "COM4"));
  EXPECT_TRUE(ComPortLess("COM9x", "COM10"));  // text after the digits ignored
  EXPECT_TRUE(ComPortLess("COM1", "COM2147483647"));
  EXPECT_TRUE(ComPortLess("COM-2147483648", "COM0"));
  // Out of the 32-bit range: byte comparison ('2' < '5').
  EXPECT_TRUE(ComPortLess("COM2147483648", "COM5"));
  EXPECT_FALSE(ComPortLess("COM5", "COM2147483648"));
  // "COM" itself has no digits: byte comparison.
  EXPECT_TRUE(ComPortLess("COM", "COM1"));
  // Names without the prefix convert as a whole.
  EXPECT_TRUE(ComPortLess("7", "12"));
}

TEST(ResolvePortName, AliasesMatchWithoutRegardToCase) {
  ScopedEnv map("PUPDATE_PORT_MAP", "COM3=/dev/pts/4, com7 = /dev/ttyUSB0,broken,=x");
  EXPECT_EQ(ResolvePortName("COM3"), "/dev/pts/4");
  EXPECT_EQ(ResolvePortName("com3"), "/dev/pts/4");
  EXPECT_EQ(ResolvePortName("COM7"), "/dev/ttyUSB0");
  EXPECT_EQ(PortAliasNames(), (Names{"COM3", "com7"}));
  EXPECT_EQ(ResolvePortName("COM4"), "");
}

TEST(ResolvePortName, DevicesUnderDevMatchWithoutRegardToCase) {
  ScopedEnv map("PUPDATE_PORT_MAP", "");
  EXPECT_EQ(ResolvePortName("null"), "/dev/null");
  EXPECT_EQ(ResolvePortName("NULL"), "/dev/null");
  EXPECT_EQ(ResolvePortName("TTY"), "/dev/tty");
  EXPECT_EQ(ResolvePortName("NoSuchPort42"), "");
  EXPECT_EQ(ResolvePortName(""), "");
  EXPECT_EQ(ResolvePortName("../dev/null"), "");
  EXPECT_EQ(ResolvePortName("shm"), "");  // a directory, not a device
}

TEST(ResolvePortName, AbsolutePathsThatExist) {
  ScopedEnv map("PUPDATE_PORT_MAP", "");
  PtyPair pty;
  EXPECT_EQ(ResolvePortName(pty.SlavePath()), pty.SlavePath());
  EXPECT_EQ(ResolvePortName("/dev/no/such/port"), "");
}

TEST(EnumeratePorts, AliasesAndSerialDevicesInPortOrder) {
  TempDir sys;
  const auto device = [&](const std::string& name, const char* type) {
    std::filesystem::create_directories(sys.path() / name / "device");
    if (type != nullptr) WriteFile(sys / (name + "/type"), type);
  };
  device("ttyUSB0", nullptr);
  device("ttyS1", "4\n");
  device("ttyS0", "0\n");                                    // a legacy slot with no UART behind it
  std::filesystem::create_directories(sys.path() / "tty5");  // a virtual console: no device
  device("COM10", nullptr);                                  // same name as an alias: listed once
  ScopedEnv map("PUPDATE_PORT_MAP", "COM10=/dev/null,COM2=/dev/null");
  EXPECT_EQ(EnumeratePortsIn(sys.path().string()), (Names{"COM2", "COM10", "ttyS1", "ttyUSB0"}));
}

TEST(EnumeratePorts, AnUnreadableDirectoryGivesOneLineOnStandardError) {
  ScopedEnv map("PUPDATE_PORT_MAP", "");
  testing::internal::CaptureStderr();
  const Names names = EnumeratePortsIn("/nonexistent/sys/class/tty");
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(names.empty());
  EXPECT_NE(errors.find("/nonexistent/sys/class/tty"), std::string::npos);
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1);
}
