#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "ApplicationInstallArchives.h"
#include "CapturingConsole.h"
#include "ScopedEnv.h"
#include "TestFiles.h"
#include "TestUpdateServer.h"
#include "jobs/ConsoleRunner.h"
#include "jobs/InstallLocation.h"
#include "net/ServerFiles.h"

using namespace pellux;

namespace fs = std::filesystem;

namespace {
bool RunJobArgs(std::initializer_list<const char*> args) {
  std::vector<const char*> argv(args);
  return RunJobInConsole(static_cast<int>(argv.size()), argv.data());
}
}  // namespace

TEST(InstallLocation, DirectoryFromEnvironmentOrHome) {
  {
    ScopedEnv fabro("PUPDATE_FABRO_DIR", "/srv/machine/Fabro/");
    EXPECT_EQ(ApplicationDirectory(), fs::path("/srv/machine/Fabro"));
  }
  ScopedEnv fabro("PUPDATE_FABRO_DIR", "");  // empty counts as unset
  ScopedEnv home("HOME", "/home/operator");
  EXPECT_EQ(ApplicationDirectory(), fs::path("/home/operator/Fabro"));
}

TEST(InstallLocation, BackupNameBesideTheDirectory) {
  const std::time_t now = LocalTime(2009, 12, 31, 23, 59, 58);
  EXPECT_EQ(BackupDirectoryFor("/home/operator/Fabro", now),
            fs::path("/home/operator/Fabro-Before-091231-235958"));
  EXPECT_EQ(BackupDirectoryFor("/home/operator/Fabro/", LocalTime(2030, 1, 2, 3, 4, 5)),
            fs::path("/home/operator/Fabro-Before-300102-030405"));
}

TEST(ApplicationJob, LocalPackageInstallsEndToEnd) {
  TempDir tmp;
  ScopedEnv fabro("PUPDATE_FABRO_DIR", tmp / "Fabro");
  fs::create_directories(tmp / "src/CFG");
  WriteFile(tmp / "src/Fabro.exe", "program");
  WriteFile(tmp / "src/CFG/defaults.cfg", "defaults");
  MakeZipWithInfoZip(tmp / "app.zip", tmp / "src", {"-r", "-q"});
  CapturingConsoleHost host;

  const std::string package = tmp / "app.zip";
  EXPECT_TRUE(RunJobArgs({"PUpdate-NR2-Application-COM3", package.c_str(), "local"}));
  const std::string out = host.console.Output();
  EXPECT_EQ(out.rfind("\r\n[ APPLICATION Install mode ] - PUPDATE-NR2-APPLICATION-COM3\r\n"
                      "Local file: " +
                          package + ", ",
                      0),
            0u)
      << out;
  EXPECT_TRUE(
      out.ends_with(" bytes, MD5 " + Md5OfFile(package) +
                    "\r\nExtracting 1/3..\rExtracting 2/3..\rExtracting 3/3..\r\r\nComplete.\r\n"))
      << out;
  EXPECT_EQ(ReadFile(tmp / "Fabro/Fabro.exe"), "program");
  EXPECT_EQ(ReadFile(tmp / "Fabro/CFG/defaults.cfg"), "defaults");
  // A local package is the user's file: the job keeps it.
  EXPECT_TRUE(fs::exists(package));

  // A job whose package is missing leaves the machine's installation alone.
  WriteFile(tmp / "Fabro/CFG/defaults.cfg", "calibrated");
  host.console.ClearOutput();
  EXPECT_FALSE(
      RunJobArgs({"PUpdate-NR2-Application-COM3", (tmp / "missing.zip").c_str(), "local"}));
  EXPECT_NE(host.console.Output().find("the file does not exist. Nothing was changed.\r\n"),
            std::string::npos);
  EXPECT_EQ(ReadFile(tmp / "Fabro/CFG/defaults.cfg"), "calibrated");
}

TEST(ApplicationJob, OnlinePackageInstallsEndToEnd) {
  TempDir tmp;
  fs::create_directories(tmp / "work");
  ScopedCurrentDir cwd(tmp / "work");
  ScopedEnv fabro("PUPDATE_FABRO_DIR", tmp / "Fabro");
  MakeZipWithPython(tmp / "app.zip", "add('Fabro.exe', b'online program')");
  TestUpdateServer server;
  server.AddFile("NR2", "APPLICATION", "Fabro-3.1.zip", ReadFile(tmp / "app.zip"));
  CapturingConsoleHost host;

  EXPECT_TRUE(RunJobArgs({"PUpdate-NR2-Application-COM1"}));
  const std::string output = host.console.Output();
  EXPECT_EQ(output.rfind("\r\n[ APPLICATION Install mode ] - PUPDATE-NR2-APPLICATION-COM1\r\n", 0),
            0u);
  EXPECT_TRUE(output.ends_with("Extracting 1/1..\r\r\nComplete.\r\n")) << output;
  EXPECT_EQ(ReadFile(tmp / "Fabro/Fabro.exe"), "online program");
  // The downloaded package is the job's own temporary file.
  EXPECT_TRUE(fs::is_empty(tmp / "work"));
}
