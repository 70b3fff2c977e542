// The application install on Windows: packages made by Info-ZIP and
// Python's zipfile on Linux, extracted with Windows attributes and times.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "CapturingConsole.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "base/Cancellation.h"
#include "jobs/ApplicationInstall.h"

using namespace pellux;

namespace fs = std::filesystem;

namespace {
class WindowsInstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    archives_ = TestSetting("PUPDATE_TEST_ARCHIVES");
    if (archives_.empty()) {
      GTEST_FAIL() << "PUPDATE_TEST_ARCHIVES is not set: run scripts/test-windows.sh";
    }
  }
  std::string Package(const char* name) const { return archives_ + "\\" + name; }
  std::string Dir() const { return tmp / "Fabro"; }
  bool Install(const char* package) {
    return InstallApplication(Package(package), Dir(), std::time(nullptr), cancel, console);
  }
  DWORD Attributes(const std::string& relative) const {
    return GetFileAttributesW((fs::path(Dir()) / relative).c_str());
  }
  // Modification time in Unix seconds.
  long long Modified(const std::string& relative) const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW((fs::path(Dir()) / relative).c_str(), GetFileExInfoStandard, &data)) {
      return -1;
    }
    const unsigned long long steps =
        (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
        data.ftLastWriteTime.dwLowDateTime;
    return static_cast<long long>(steps / 10000000ULL) - 11644473600LL;
  }

  std::string archives_;
  TempDir tmp;
  CancelToken cancel;
  CapturingConsole console;
  ScopedActiveConsole active{console};
};
}  // namespace

TEST_F(WindowsInstallTest, InfoZipPackageWithFoldersStoredAndDeflatedItems) {
  ASSERT_TRUE(Install("infozip.zip")) << console.Output();
  EXPECT_EQ(ReadFile(Dir() + "\\bin\\Fabro.exe"), std::string(70000, 'F'));
  EXPECT_EQ(ReadFile(Dir() + "\\readme.txt"), "read me\n");
  EXPECT_TRUE(console.Output().ends_with("\r\nComplete.\r\n")) << console.Output();
}

TEST_F(WindowsInstallTest, DosAttributesAndTimes) {
  ASSERT_TRUE(Install("attributes.zip")) << console.Output();
  EXPECT_NE(Attributes("readonly.txt") & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_NE(Attributes("hidden.txt") & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(Attributes("normal.txt") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
  EXPECT_NE(Attributes("unix-readonly.txt") & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(Modified("ut.txt"), 1500000001);
  // The DOS fields hold local time; Python wrote 2010-05-06 07:08:10.
  std::tm local{};
  local.tm_year = 110;
  local.tm_mon = 4;
  local.tm_mday = 6;
  local.tm_hour = 7;
  local.tm_min = 8;
  local.tm_sec = 10;
  local.tm_isdst = -1;
  EXPECT_EQ(Modified("dos.txt"), static_cast<long long>(std::mktime(&local)));
}

TEST_F(WindowsInstallTest, TraversalNamesLandInside) {
  ASSERT_TRUE(Install("traversal.zip")) << console.Output();
  EXPECT_EQ(ReadFile(Dir() + "\\Windows\\x.dll"), "1");
  EXPECT_EQ(ReadFile(Dir() + "\\temp\\a.txt"), "2");
  EXPECT_EQ(ReadFile(Dir() + "\\up.txt"), "3");
  EXPECT_FALSE(fs::exists(tmp / "up.txt"));
}

TEST_F(WindowsInstallTest, EncryptedAndDamagedPackagesChangeNothing) {
  fs::create_directories(Dir() + "\\CFG");
  WriteFile(Dir() + "\\CFG\\machine.cfg", "calibrated");
  EXPECT_FALSE(Install("encrypted.zip"));
  EXPECT_EQ(console.Output(), "Cannot install \"" + Package("encrypted.zip") +
                                  "\": the item \"secret.txt\" is encrypted. Nothing was "
                                  "changed.\r\n");
  console.ClearOutput();
  EXPECT_FALSE(Install("damaged.zip"));
  EXPECT_NE(console.Output().find("its data is damaged"), std::string::npos) << console.Output();
  EXPECT_EQ(ReadFile(Dir() + "\\CFG\\machine.cfg"), "calibrated");
}

namespace {
void SetModified(const std::string& path, long long unixSeconds) {
  const unsigned long long steps =
      static_cast<unsigned long long>(unixSeconds + 11644473600LL) * 10000000ULL;
  const FILETIME time{static_cast<DWORD>(steps & 0xFFFFFFFF), static_cast<DWORD>(steps >> 32)};
  HANDLE file = CreateFileW(fs::path(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
  CloseHandle(file);
}
}  // namespace

// The package's own CFG holds a read-only file: it is replaced by the
// machine's CFG all the same, and the machine's files keep their time and
// their hidden and read-only attributes.
TEST_F(WindowsInstallTest, ReadOnlyFileInThePackagesCfgMakesWayForTheMachines) {
  fs::create_directories(Dir() + "\\Cfg");
  WriteFile(Dir() + "\\Cfg\\machine.cfg", "calibrated");
  WriteFile(Dir() + "\\Cfg\\locked.cfg", "locked");
  SetModified(Dir() + "\\Cfg\\machine.cfg", 1100000003);
  ASSERT_TRUE(SetFileAttributesW((fs::path(Dir()) / "Cfg\\machine.cfg").c_str(),
                                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_TRUE(
      SetFileAttributesW((fs::path(Dir()) / "Cfg\\locked.cfg").c_str(), FILE_ATTRIBUTE_READONLY));

  ASSERT_TRUE(Install("readonly-cfg.zip")) << console.Output();
  EXPECT_EQ(ReadFile(Dir() + "\\Cfg\\machine.cfg"), "calibrated");
  EXPECT_EQ(ReadFile(Dir() + "\\Cfg\\locked.cfg"), "locked");
  EXPECT_FALSE(fs::exists(Dir() + "\\Cfg\\readonly.cfg"));
  EXPECT_EQ(ReadFile(Dir() + "\\Fabro.exe"), "new");
  EXPECT_EQ(Modified("Cfg\\machine.cfg"), 1100000003);
  EXPECT_NE(Attributes("Cfg\\machine.cfg") & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_NE(Attributes("Cfg\\locked.cfg") & FILE_ATTRIBUTE_READONLY, 0u);
}

// A package that fails after a read-only file is out: the roll-back removes
// it too and the previous installation is back whole.
TEST_F(WindowsInstallTest, RollBackRemovesReadOnlyFiles) {
  fs::create_directories(Dir() + "\\CFG");
  WriteFile(Dir() + "\\CFG\\machine.cfg", "calibrated");
  EXPECT_FALSE(Install("readonly-damaged.zip"));
  const std::string out = console.Output();
  EXPECT_NE(out.find("its data is damaged"), std::string::npos) << out;
  EXPECT_NE(out.find("The previous installation has been put back in "), std::string::npos) << out;
  EXPECT_EQ(ReadFile(Dir() + "\\CFG\\machine.cfg"), "calibrated");
  EXPECT_FALSE(fs::exists(Dir() + "\\CFG\\readonly.cfg"));
}
