#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <set>

#include "ApplicationInstallArchives.h"
#include "CapturingConsole.h"
#include "TestFiles.h"
#include "base/Cancellation.h"
#include "jobs/ApplicationInstall.h"
#include "jobs/ZipArchive.h"

using namespace pellux;

namespace fs = std::filesystem;

namespace {
// An installation directory in a fresh folder, with a console that records the job's lines.
class ApplicationInstallTest : public ::testing::Test {
 protected:
  std::string Dir() const { return tmp / "Fabro"; }
  std::string Package() const { return tmp / "package.zip"; }

  bool Install(std::time_t now = kNow) {
    return InstallApplication(Package(), Dir(), now, cancel, console);
  }

  // A previous installation with machine-specific folders.
  void MakeOldInstallation() {
    fs::create_directories(Dir() + "/CFG/sub");
    fs::create_directories(Dir() + "/EL");
    WriteFile(Dir() + "/Fabro.exe", "old program");
    WriteFile(Dir() + "/CFG/machine.cfg", "calibrated");
    WriteFile(Dir() + "/CFG/sub/deep.cfg", "deep");
    WriteFile(Dir() + "/EL/events.log", "history");
  }

  static struct stat Stat(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
  }

  static const std::time_t kNow;
  static const char* const kBackupName;
  TempDir tmp;
  CancelToken cancel;
  CapturingConsole console;
};

const std::time_t ApplicationInstallTest::kNow = LocalTime(2025, 3, 14, 9, 30, 5);
const char* const ApplicationInstallTest::kBackupName = "Fabro-Before-250314-093005";

std::string RandomBytes(size_t size) {
  std::mt19937 generator(1234);
  std::string data(size, '\0');
  for (char& c : data) c = static_cast<char>(generator());
  return data;
}
}  // namespace

TEST_F(ApplicationInstallTest, FirstInstallCreatesTheDirectoryWithoutBackup) {
  fs::create_directories(tmp / "src/bin");
  const std::string large = RandomBytes(100'000);  // several 16 KB pieces, stored
  const std::string text(50'000, 'a');             // deflated
  WriteFile(tmp / "src/bin/Fabro.exe", large);
  WriteFile(tmp / "src/readme.txt", text);
  MakeZipWithInfoZip(Package(), tmp / "src", {"-r", "-q"});
  {
    ZipArchive archive;
    std::string why;
    ASSERT_TRUE(archive.Open(Package(), why)) << why;
    std::set<unsigned> methods;
    for (int i = 0; i < archive.Count(); ++i) methods.insert(archive.Item(i).method);
    EXPECT_EQ(methods, (std::set<unsigned>{0, 8}));
  }

  ASSERT_TRUE(Install());
  EXPECT_EQ(ReadFile(Dir() + "/bin/Fabro.exe"), large);
  EXPECT_EQ(ReadFile(Dir() + "/readme.txt"), text);
  EXPECT_FALSE(fs::exists(tmp / kBackupName));
  EXPECT_EQ(TreeOf(tmp.path()),
            (std::vector<std::string>{"Fabro/", "Fabro/bin/", "Fabro/bin/Fabro.exe",
                                      "Fabro/readme.txt", "package.zip", "src/", "src/bin/",
                                      "src/bin/Fabro.exe", "src/readme.txt"}));
  EXPECT_EQ(console.Output(),
            "Extracting 1/3..\rExtracting 2/3..\rExtracting 3/3..\r\r\nComplete.\r\n");
}

TEST_F(ApplicationInstallTest, SecondInstallBacksUpAndRestoresCfgAndEl) {
  MakeOldInstallation();
  MakeZipWithPython(Package(), R"(
add('Fabro.exe', b'new program')
add('CFG/', b'')
add('CFG/machine.cfg', b'factory defaults')
add('CFG/package-only.cfg', b'x')
add('EL/', b'')
add('Help/manual.txt', b'manual', method=STORED)
)");
  ASSERT_TRUE(Install()) << console.Output();

  EXPECT_EQ(ReadFile(Dir() + "/Fabro.exe"), "new program");
  EXPECT_EQ(ReadFile(Dir() + "/Help/manual.txt"), "manual");
  EXPECT_EQ(TreeOf(Dir() + "/CFG"),
            (std::vector<std::string>{"machine.cfg", "sub/", "sub/deep.cfg"}));
  EXPECT_EQ(ReadFile(Dir() + "/CFG/machine.cfg"), "calibrated");
  EXPECT_EQ(TreeOf(Dir() + "/EL"), (std::vector<std::string>{"events.log"}));
  // The backup holds the whole previous installation.
  const std::string backup = tmp / kBackupName;
  EXPECT_EQ(TreeOf(backup),
            (std::vector<std::string>{"CFG/", "CFG/machine.cfg", "CFG/sub/", "CFG/sub/deep.cfg",
                                      "EL/", "EL/events.log", "Fabro.exe"}));
  EXPECT_EQ(ReadFile(backup + "/Fabro.exe"), "old program");
  EXPECT_NE(console.Output().find("Extracting 6/6..\r\r\nComplete.\r\n"), std::string::npos);
}

TEST_F(ApplicationInstallTest, PackageFoldersStayWhenThePreviousInstallationHadNone) {
  fs::create_directories(Dir());
  WriteFile(Dir() + "/Fabro.exe", "old program");
  MakeZipWithPython(Package(), "add('CFG/defaults.cfg', b'factory')\nadd('Fabro.exe', b'new')");
  ASSERT_TRUE(Install());
  EXPECT_EQ(ReadFile(Dir() + "/CFG/defaults.cfg"), "factory");
  EXPECT_FALSE(fs::exists(Dir() + "/EL"));
}

TEST_F(ApplicationInstallTest, TraversalNamesLandInside) {
  MakeZipWithPython(Package(), R"(
add('..\\..\\Windows\\x.dll', b'1')
add('C:\\temp\\a.txt', b'2')
add('../../Windows/y.dll', b'3')
add('C:/temp/b.txt', b'4')
add('../escape.txt', b'5')
add('/abs/c.txt', b'6')
add('sub/../../up.txt', b'7')
add('..', b'', attr=0x10)
)");
  ASSERT_TRUE(Install()) << console.Output();
  EXPECT_EQ(TreeOf(Dir()), (std::vector<std::string>{"Windows/", "Windows/x.dll", "Windows/y.dll",
                                                     "abs/", "abs/c.txt", "escape.txt", "temp/",
                                                     "temp/a.txt", "temp/b.txt", "up.txt"}));
  EXPECT_EQ(ReadFile(Dir() + "/Windows/x.dll"), "1");
  EXPECT_EQ(ReadFile(Dir() + "/temp/a.txt"), "2");
  EXPECT_EQ(TreeOf(tmp.path()).size(), TreeOf(Dir()).size() + 2);  // Fabro/ and package.zip
}

TEST_F(ApplicationInstallTest, DosAndUnixAttributes) {
  MakeZipWithPython(Package(), R"(
add('dos-readonly.txt', b'r', system=0, attr=0x21)
add('dos-normal.txt', b'n', system=0, attr=0x20)
add('dos-folder', b'', system=0, attr=0x10)
add('unix-readonly.txt', b'r', attr=0o100444 << 16)
add('unix-tool', b'#!/bin/sh', attr=0o100750 << 16)
add('unix-folder', b'', attr=0o40755 << 16)
add('no-mode.txt', b'm', attr=0)
)");
  fs::create_directories(tmp / "src");
  WriteFile(tmp / "src/locked.cfg", "locked");
  fs::permissions(tmp / "src/locked.cfg", fs::perms(0444));
  MakeZipWithInfoZip(Package(), tmp / "src", {"-q"}, {"locked.cfg"});  // adds to the package
  ASSERT_TRUE(Install()) << console.Output();

  auto writable = [&](const std::string& name) {
    return (Stat(Dir() + "/" + name).st_mode & 0222) != 0;
  };
  EXPECT_FALSE(writable("dos-readonly.txt"));
  EXPECT_TRUE(writable("dos-normal.txt"));
  EXPECT_TRUE(fs::is_directory(Dir() + "/dos-folder"));
  EXPECT_FALSE(writable("unix-readonly.txt"));
  EXPECT_EQ(Stat(Dir() + "/unix-tool").st_mode & 0777, 0750u);
  EXPECT_TRUE(fs::is_directory(Dir() + "/unix-folder"));
  EXPECT_TRUE(writable("no-mode.txt"));
  EXPECT_FALSE(writable("locked.cfg"));
  EXPECT_EQ(ReadFile(Dir() + "/locked.cfg"), "locked");
}

TEST_F(ApplicationInstallTest, TimesFromDosFieldsAndExtendedTimestamps) {
  MakeZipWithPython(Package(), R"(
add('dos.txt', b'd', date=(2010, 5, 6, 7, 8, 10))
add('ut.txt', b'u', extra=struct.pack('<HHBiii', 0x5455, 13, 7, 1500000001, 1400000003, 1300000005))
)");
  fs::create_directories(tmp / "src");
  WriteFile(tmp / "src/zipped.txt", "z");
  const timespec sourceTimes[2] = {{1111111111, 0}, {981173107, 0}};  // odd seconds: not DOS time
  ASSERT_EQ(::utimensat(AT_FDCWD, (tmp / "src/zipped.txt").c_str(), sourceTimes, 0), 0);
  MakeZipWithInfoZip(Package(), tmp / "src", {"-q"}, {"zipped.txt"});
  ASSERT_TRUE(Install()) << console.Output();

  EXPECT_EQ(Stat(Dir() + "/dos.txt").st_mtime, LocalTime(2010, 5, 6, 7, 8, 10));
  const struct stat ut = Stat(Dir() + "/ut.txt");
  EXPECT_EQ(ut.st_mtime, 1500000001);
  EXPECT_EQ(ut.st_atime, 1400000003);
  EXPECT_EQ(Stat(Dir() + "/zipped.txt").st_mtime, 981173107);
}

TEST_F(ApplicationInstallTest, ThousandItemsShowProgressForEach) {
  MakeZipWithPython(Package(), R"(
for i in range(1000):
    add('data/file%04d.txt' % i, b'item %d' % i, method=STORED if i % 2 else DEFLATED)
)");
  ASSERT_TRUE(Install());
  const std::string output = console.Output();
  size_t lines = 0;
  for (size_t at = output.find("Extracting "); at != std::string::npos;
       at = output.find("Extracting ", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 1000u);
  EXPECT_EQ(output.rfind("Extracting 1/1000..\r", 0), 0u);
  EXPECT_NE(output.find("\rExtracting 500/1000..\r"), std::string::npos);
  EXPECT_TRUE(output.ends_with("Extracting 1000/1000..\r\r\nComplete.\r\n"));
  EXPECT_EQ(TreeOf(Dir() + "/data").size(), 1000u);
  EXPECT_EQ(ReadFile(Dir() + "/data/file0999.txt"), "item 999");
}

TEST_F(ApplicationInstallTest, UnreadablePackagesChangeNothing) {
  MakeOldInstallation();
  MakeZipWithPython(Package(), "add('Fabro.exe', b'new program' * 1000)");
  const std::string good = ReadFile(Package());
  fs::remove(Package());
  const std::vector<std::string> before = TreeOf(tmp.path());
  const std::pair<std::string, std::string> packages[] = {
      {"", "the file does not exist"},
      {"this is not a zip archive at all", "it is not a readable ZIP archive"},
      {good.substr(0, good.size() / 2), "it is not a readable ZIP archive"},
  };
  for (const auto& [content, reason] : packages) {
    if (!content.empty()) WriteFile(Package(), content);
    console.ClearOutput();
    EXPECT_FALSE(Install());
    EXPECT_EQ(console.Output(),
              "Cannot install \"" + Package() + "\": " + reason + ". Nothing was changed.\r\n");
    fs::remove(Package());
    EXPECT_EQ(TreeOf(tmp.path()), (std::vector<std::string>(before)));
  }
  // Items that cannot be read are found before anything moves.
  fs::create_directories(tmp / "src");
  WriteFile(tmp / "src/secret.txt", "secret");
  MakeZipWithInfoZip(Package(), tmp / "src", {"-q", "-P", "password"}, {"secret.txt"});
  console.ClearOutput();
  EXPECT_FALSE(Install());
  EXPECT_EQ(console.Output(),
            "Cannot install \"" + Package() +
                "\": the item \"secret.txt\" is encrypted. Nothing was changed.\r\n");
  fs::remove(Package());
  MakeZipWithPython(Package(), "add('packed.txt', b'x' * 100, method=zipfile.ZIP_BZIP2)");
  console.ClearOutput();
  EXPECT_FALSE(Install());
  EXPECT_NE(console.Output().find("uses compression method 12, which cannot be read"),
            std::string::npos);
  fs::remove(Package());
  fs::remove_all(tmp / "src");
  EXPECT_EQ(TreeOf(tmp.path()), (std::vector<std::string>(before)));

  // An archive without items would leave the machine without its application.
  MakeZipWithPython(Package(), "");
  console.ClearOutput();
  EXPECT_FALSE(Install());
  EXPECT_TRUE(console.Output().ends_with(". Nothing was changed.\r\n")) << console.Output();
  EXPECT_EQ(ReadFile(Dir() + "/Fabro.exe"), "old program");
}

TEST_F(ApplicationInstallTest, DamagedItemDataPutsThePreviousInstallationBack) {
  MakeOldInstallation();
  MakeZipWithPython(Package(), "add('a.txt', b'first')\nadd('b.txt', b'second item', STORED)");
  std::string bytes = ReadFile(Package());
  const size_t at = bytes.find("second item");
  ASSERT_NE(at, std::string::npos);
  bytes[at] = 'S';  // the CRC no longer matches
  WriteFile(Package(), bytes);
  const std::vector<std::string> before = TreeOf(Dir());

  EXPECT_FALSE(Install());
  EXPECT_EQ(console.Output(),
            "Extracting 1/2..\r\r\nCannot extract \"b.txt\": its data is damaged.\r\n"
            "The previous installation has been put back in " +
                Dir() + ".\r\n");
  EXPECT_EQ(TreeOf(Dir()), before);
  EXPECT_EQ(ReadFile(Dir() + "/CFG/machine.cfg"), "calibrated");
  EXPECT_FALSE(fs::exists(tmp / kBackupName));
}

TEST_F(ApplicationInstallTest, ItemThatCannotBeWrittenFailsTheInstall) {
  // "tools" is a file, so "tools/x.exe" has no folder to go into.
  MakeZipWithPython(Package(), "add('tools', b'file')\nadd('tools/x.exe', b'x')");
  EXPECT_FALSE(Install());
  EXPECT_NE(console.Output().find("\r\nCannot extract \"tools/x.exe\": its folder cannot be "),
            std::string::npos);
  EXPECT_TRUE(console.Output().ends_with("Nothing was installed.\r\n"));
  EXPECT_FALSE(console.Output().find("Complete.") != std::string::npos);
  EXPECT_FALSE(fs::exists(Dir()));
}

TEST_F(ApplicationInstallTest, BackupNameClashLosesNothing) {
  MakeOldInstallation();
  const std::string clash = tmp / kBackupName;
  fs::create_directories(clash);
  WriteFile(clash + "/earlier.txt", "earlier backup");
  MakeZipWithPython(Package(), "add('Fabro.exe', b'new program')");
  const std::vector<std::string> before = TreeOf(tmp.path());

  EXPECT_FALSE(Install());
  EXPECT_EQ(console.Output(), "Cannot move the previous installation aside: " + clash +
                                  " already exists. Nothing was changed.\r\n");
  EXPECT_EQ(TreeOf(tmp.path()), before);
  EXPECT_EQ(ReadFile(Dir() + "/Fabro.exe"), "old program");
  // A second later the install goes through.
  console.ClearOutput();
  EXPECT_TRUE(Install(kNow + 1));
  EXPECT_EQ(ReadFile(tmp / "Fabro-Before-250314-093006/Fabro.exe"), "old program");
  EXPECT_EQ(ReadFile(clash + "/earlier.txt"), "earlier backup");
}

TEST_F(ApplicationInstallTest, LinksStayInsideTheInstallation) {
  fs::create_directories(tmp / "src");
  WriteFile(tmp / "src/lib.so.1", "library");
  fs::create_symlink("lib.so.1", tmp / "src/lib.so");
  MakeZipWithInfoZip(Package(), tmp / "src", {"-q", "-y"}, {"lib.so.1", "lib.so"});
  ASSERT_TRUE(Install()) << console.Output();
  EXPECT_TRUE(fs::is_symlink(Dir() + "/lib.so"));
  EXPECT_EQ(ReadFile(Dir() + "/lib.so"), "library");

  for (const char* target : {"/etc/passwd", "../../outside", "sub/../../x"}) {
    fs::remove(Package());
    MakeZipWithPython(Package(), std::string("add('a.txt', b'a')\nadd('evil', b'") + target +
                                     "', attr=0o120777 << 16)");
    console.ClearOutput();
    EXPECT_FALSE(Install(kNow + 10)) << target;
    EXPECT_NE(console.Output().find(std::string("Cannot extract \"evil\": it is a link to \"") +
                                    target + "\""),
              std::string::npos)
        << console.Output();
    EXPECT_TRUE(fs::is_symlink(Dir() + "/lib.so"));  // the previous installation is back
    EXPECT_FALSE(fs::exists(Dir() + "/evil"));
  }
}

TEST_F(ApplicationInstallTest, CancelledInstallPutsThePreviousInstallationBack) {
  MakeOldInstallation();
  const std::vector<std::string> before = TreeOf(Dir());
  MakeZipWithPython(Package(), "add('Fabro.exe', b'new program')");
  cancel.Cancel();
  const bool result = Install();
  EXPECT_FALSE(result);
  EXPECT_EQ(console.Output(),
            "\r\nInstallation cancelled.\r\nThe previous installation has been "
            "put back in " +
                Dir() + ".\r\n");
  EXPECT_EQ(TreeOf(Dir()), before);
}

// Windows does not care about case, and packages come from Windows: the
// previous installation's "Cfg" and "El" replace the package's "CFG" and
// "el", and keep their own names.
TEST_F(ApplicationInstallTest, KeptFoldersMatchInAnyCaseAndKeepTheirOldNames) {
  fs::create_directories(Dir() + "/Cfg/sub");
  fs::create_directories(Dir() + "/El");
  WriteFile(Dir() + "/Cfg/machine.cfg", "calibrated");
  WriteFile(Dir() + "/Cfg/sub/deep.cfg", "deep");
  WriteFile(Dir() + "/El/events.log", "history");
  MakeZipWithPython(Package(), R"(
add('Fabro.exe', b'new program')
add('CFG/machine.cfg', b'factory defaults')
add('el/events.log', b'empty')
add('cfg.txt', b'not a folder of ours')
)");
  ASSERT_TRUE(Install()) << console.Output();
  EXPECT_EQ(TreeOf(Dir()),
            (std::vector<std::string>{"Cfg/", "Cfg/machine.cfg", "Cfg/sub/", "Cfg/sub/deep.cfg",
                                      "El/", "El/events.log", "Fabro.exe", "cfg.txt"}));
  EXPECT_EQ(ReadFile(Dir() + "/Cfg/machine.cfg"), "calibrated");
  EXPECT_EQ(ReadFile(Dir() + "/El/events.log"), "history");
}

// The restored files are the machine's own: their times and permissions
// stay as they were, not the time of the install.
TEST_F(ApplicationInstallTest, RestoredFilesKeepTheirTimesAndPermissions) {
  MakeOldInstallation();
  const timespec calibrated[2] = {{1200000001, 0}, {1100000003, 500}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (Dir() + "/CFG/machine.cfg").c_str(), calibrated, 0), 0);
  const timespec deep[2] = {{1300000005, 0}, {1000000007, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (Dir() + "/CFG/sub/deep.cfg").c_str(), deep, 0), 0);
  fs::permissions(Dir() + "/CFG/sub/deep.cfg", fs::perms(0440));
  MakeZipWithPython(Package(), "add('CFG/machine.cfg', b'factory defaults')");
  ASSERT_TRUE(Install()) << console.Output();

  const struct stat machine = Stat(Dir() + "/CFG/machine.cfg");
  EXPECT_EQ(machine.st_mtim.tv_sec, 1100000003);
  EXPECT_EQ(machine.st_mtim.tv_nsec, 500);
  EXPECT_EQ(machine.st_atim.tv_sec, 1200000001);
  const struct stat restoredDeep = Stat(Dir() + "/CFG/sub/deep.cfg");
  EXPECT_EQ(restoredDeep.st_mtime, 1000000007);
  EXPECT_EQ(restoredDeep.st_mode & 0777, 0440u);
  EXPECT_EQ(ReadFile(Dir() + "/CFG/sub/deep.cfg"), "deep");
}
