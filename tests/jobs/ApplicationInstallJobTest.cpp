#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "ApplicationInstallArchives.h"
#include "CapturingConsole.h"
#include "TestFiles.h"
#include "jobs/ConsoleRunner.h"
#include "jobs/InstallLocation.h"

namespace fs = std::filesystem;

namespace {
// Sets an environment variable for the scope and restores the previous value.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(previous_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name_, value->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  const char* name_;
  std::optional<std::string> previous_;
};

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
  ScopedEnv fabro("PUPDATE_FABRO_DIR", std::nullopt);
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
  EXPECT_EQ(host.console.Output(),
            "\r\n[ APPLICATION Install mode ] - PUPDATE-NR2-APPLICATION-COM3\r\n"
            "Extracting 1/3..\rExtracting 2/3..\rExtracting 3/3..\r\r\nComplete.\r\n");
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
