#include <httplib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "CapturingConsole.h"
#include "TestFiles.h"
#include "TestUpdateServer.h"
#include "jobs/ConsoleRunner.h"
#include "jobs/JobDriver.h"
#include "jobs/UpdateStep.h"
#include "net/ServerBaseUrl.h"

using namespace pellux;

namespace fs = std::filesystem;

namespace {
// Stands in for the real step: records the file it is given and its bytes.
class RecordingStep {
 public:
  explicit RecordingStep(std::string mode, bool result = true) : mode_(std::move(mode)) {
    OverrideUpdateStep(mode_, [this, result](const JobSpec&, const std::string& file,
                                             const CancelToken&, JobConsole&) {
      ++runs;
      file_ = file;
      content_ = ReadFile(file);
      return result;
    });
  }
  ~RecordingStep() { OverrideUpdateStep(mode_, nullptr); }
  int runs = 0;
  const std::string& file() const { return file_; }
  const std::string& content() const { return content_; }

 private:
  std::string mode_;
  std::string file_;
  std::string content_;
};

bool RunJobArgs(std::vector<const char*> argv) {
  return RunJobInConsole(static_cast<int>(argv.size()), argv.data());
}

bool Contains(const std::vector<std::string>& items, const std::string& item) {
  return std::find(items.begin(), items.end(), item) != items.end();
}

class OnlineJob : public ::testing::Test {
 protected:
  OnlineJob() {
    server.AddFile("NR2", "FIRMWARE", "old.hex", "old firmware");
    server.AddFile("NR2", "FIRMWARE", "new.hex", "new firmware");
  }
  std::string Output() const { return host.console.Output(); }
  bool Printed(const std::string& text) const { return Output().find(text) != std::string::npos; }

  TempDir work;
  ScopedCurrentDir cwd{work.path()};
  CapturingConsoleHost host;
  TestUpdateServer server;
};
}  // namespace

TEST_F(OnlineJob, TakesTheFirstListedFileAndCleansUp) {
  RecordingStep step("FIRMWARE");
  EXPECT_TRUE(RunJobArgs({"PUpdate-NR2-Firmware-COM3"}));
  EXPECT_EQ(step.file(), "new.hex");  // newest first
  EXPECT_EQ(step.content(), "new firmware");
  EXPECT_TRUE(
      Printed("\r\n[ FIRMWARE Update mode ] - PUPDATE-NR2-FIRMWARE-COM3\r\n\r\n"
              "Checking firmware on internet.....\n"));
  EXPECT_TRUE(Printed("FileList\r\nnew.hex\r\nold.hex\r\n"));
  EXPECT_TRUE(Printed("MD5 Check success.\r\n"));
  EXPECT_EQ(
      server.RequestTargets(),
      (std::vector<std::string>{"/filelist.php?MachineName=NR2/FIRMWARE", "//NR2/FIRMWARE/new.hex",
                                "/filemd5.php?FilePath=NR2/FIRMWARE/new.hex"}));
  EXPECT_FALSE(fs::exists(work / "new.hex"));
  EXPECT_FALSE(fs::exists(work / "filelist.hex"));
}

TEST_F(OnlineJob, TakesTheNamedFileInTheListOrder) {
  server.SetList("NR2", "FIRMWARE", {"old.hex", "new.hex"});
  RecordingStep step("FIRMWARE", false);
  EXPECT_FALSE(RunJobArgs({"PUpdate-NR2-Firmware-COM3", "new.hex"}));
  EXPECT_EQ(step.content(), "new firmware");
  EXPECT_TRUE(Printed("FileList\r\nold.hex\r\nnew.hex\r\n"));
  // A failed step still removes the downloaded file.
  EXPECT_FALSE(fs::exists(work / "new.hex"));
}

TEST_F(OnlineJob, RefusesANameNotInTheList) {
  RecordingStep step("FIRMWARE");
  EXPECT_FALSE(RunJobArgs({"PUpdate-NR2-Firmware-COM3", "NEW.HEX"}));
  EXPECT_TRUE(Printed("Select file is not exist.\r\n"));
  EXPECT_EQ(step.runs, 0);
  EXPECT_EQ(server.RequestTargets().size(), 1u);
}

TEST_F(OnlineJob, HeaderOnlyListIsAnError) {
  server.SetList("NR2", "FPGA", {});
  RecordingStep step("FPGA");
  EXPECT_FALSE(RunJobArgs({"PUpdate-NR2-FPGA-COM3"}));
  EXPECT_TRUE(Printed("Checking firmware on internet.....\n"));
  EXPECT_TRUE(Printed("Data file list is error.\r\n"));
  EXPECT_EQ(step.runs, 0);
  EXPECT_FALSE(fs::exists(work / "filelist.hex"));
}

TEST_F(OnlineJob, MissingListGoesOnToTheListError) {
  RecordingStep step("SERVO");
  EXPECT_FALSE(RunJobArgs({"PUpdate-XX-Servo-COM3"}));
  EXPECT_TRUE(Printed("Download failed: the server answered HTTP status 404 (" + server.BaseUrl() +
                      "filelist.php?MachineName=XX/SERVO). Check that the update server holds it.\n"
                      "File list download failed.\r\nData file list is error.\r\n"));
  EXPECT_EQ(step.runs, 0);
}

TEST_F(OnlineJob, RefusesUnsafeNamesFromTheList) {
  fs::create_directories(work / "sub");
  for (const std::string name : {"sub/evil.hex", "C:evil.hex", "a\\b.hex", "x\x1b[2J.hex"}) {
    server.SetList("NR2", "FIRMWARE", {name, "new.hex"});
    RecordingStep step("FIRMWARE");
    host.console.ClearOutput();
    EXPECT_FALSE(RunJobArgs({"PUpdate-NR2-Firmware-COM3"})) << name;
    const std::string shown = name[1] == '\x1b' ? "x\\x1B[2J.hex" : name;
    EXPECT_TRUE(Printed("Refused unsafe file name from the server list: \"" + shown + "\"\r\n"))
        << Output();
    EXPECT_EQ(step.runs, 0);
  }
  EXPECT_TRUE(fs::is_empty(work.path() / "sub"));
  for (const std::string& target : server.RequestTargets()) {
    EXPECT_EQ(target.find("filemd5"), std::string::npos) << target;
  }
}

// Names a URL cannot carry as they are go out escaped, and the server finds
// the listed file by its own name; ".." inside a name is an ordinary dot pair.
TEST_F(OnlineJob, NamesWithSpacesHashesAndOtherBytesAreFetchedEscaped) {
  const std::vector<std::pair<std::string, std::string>> names = {
      {"NR2 FW v2.hex", "NR2%20FW%20v2.hex"},
      {"fw#2.hex", "fw%232.hex"},
      {"NR2_FW_V2..1.hex", "NR2_FW_V2..1.hex"},
      {"100%?a&b+c.hex", "100%25%3Fa%26b%2Bc.hex"},
      {"Fr\xC3\xA4se(1).hex", "Fr%C3%A4se(1).hex"}};
  std::vector<std::string> listed;
  for (const auto& [name, escaped] : names) {
    server.AddFile("NR2", "FIRMWARE", name, "firmware " + name);
    listed.push_back(name);
  }
  server.SetList("NR2", "FIRMWARE", listed);
  for (const auto& [name, escaped] : names) {
    RecordingStep step("FIRMWARE");
    server.ClearRequests();
    host.console.ClearOutput();
    EXPECT_TRUE(RunJobArgs({"PUpdate-NR2-Firmware-COM3", name.c_str()})) << name << Output();
    EXPECT_EQ(step.file(), name);
    EXPECT_EQ(step.content(), "firmware " + name);
    EXPECT_TRUE(Printed("MD5 Check success.\r\n")) << Output();
    EXPECT_EQ(server.RequestTargets(),
              (std::vector<std::string>{"/filelist.php?MachineName=NR2/FIRMWARE",
                                        "//NR2/FIRMWARE/" + escaped,
                                        "/filemd5.php?FilePath=NR2/FIRMWARE/" + escaped}));
    EXPECT_FALSE(fs::exists(work / name));
  }
}

TEST_F(OnlineJob, InitializeListsAndDownloadsUnderFirmwarePaths) {
  RecordingStep step("INITIALIZE");
  EXPECT_TRUE(RunJobArgs({"PUpdate-NR2-Initialize-COM3", "old.hex"}));
  EXPECT_EQ(step.content(), "old firmware");
  EXPECT_TRUE(Printed("[ INITIALIZE mode ] - PUPDATE-NR2-INITIALIZE-COM3\r\n"));
  EXPECT_EQ(
      server.RequestTargets(),
      (std::vector<std::string>{"/filelist.php?MachineName=NR2/FIRMWARE", "//NR2/FIRMWARE/old.hex",
                                "/filemd5.php?FilePath=NR2/FIRMWARE/old.hex"}));
}

TEST_F(OnlineJob, UnreachableServerEndsAtTheList) {
  RecordingStep step("FIRMWARE");
  SetServerBaseUrl("http://127.0.0.1:1/");
  EXPECT_FALSE(RunJobArgs({"PUpdate-NR2-Firmware-COM3"}));
  EXPECT_TRUE(Printed("HttpSendRequest failed. Error: 7 - "));
  EXPECT_TRUE(Printed("File list download failed.\r\nData file list is error.\r\n"));
  EXPECT_EQ(step.runs, 0);
}

// A server whose data file or digest is wrong: a cut-short transfer or a
// digest written differently must stop the job before the step.
TEST(OnlineJobVerification, CutShortDataOrOddDigestStopsTheJob) {
  TempDir work;
  ScopedCurrentDir cwd(work.path());
  CapturingConsoleHost host;
  const std::string data = "0123456789abcdef";
  const std::string digest = "4032af8d61035123906e58e067140cc5";  // md5sum of `data`
  std::string md5Reply;
  httplib::Server http;
  http.Get(".*", [&](const httplib::Request& request, httplib::Response& response) {
    if (request.path == "/filelist.php") {
      response.set_content("FileList\nf.bin\n", "text/plain");
    } else if (request.path == "/filemd5.php") {
      response.set_content(md5Reply, "text/plain");
    } else {
      // Announces the whole file, sends half of it and hangs up.
      response.set_content_provider(data.size(), "application/octet-stream",
                                    [&](size_t, size_t, httplib::DataSink& sink) {
                                      sink.write(data.data(), data.size() / 2);
                                      return false;
                                    });
    }
  });
  const int port = http.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { http.listen_after_bind(); });
  const std::string previous = ServerBaseUrl();
  SetServerBaseUrl("http://127.0.0.1:" + std::to_string(port) + "/");

  RecordingStep step("FPGA");
  md5Reply = digest;
  EXPECT_FALSE(RunJobArgs({"PUpdate-APB-FPGA-COM1"}));
  std::string out = host.console.Output();
  EXPECT_NE(out.find("InternetReadFile failed during download."), std::string::npos) << out;
  EXPECT_NE(out.find("Data file download failed.\r\nMD5 Server file   = " + digest +
                     "\r\nMD5 Download file = "),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("MD5 Check failed.\r\n"), std::string::npos);
  EXPECT_EQ(step.runs, 0);
  // The file that failed its check stays for inspection.
  EXPECT_EQ(ReadFile(work / "f.bin"), data.substr(0, data.size() / 2));

  SetServerBaseUrl(previous);
  http.stop();
  serving.join();
}

TEST(ListServerFilesOnline, EtcListsTheRootFolderAndKeepsTheList) {
  TempDir work;
  ScopedCurrentDir cwd(work.path());
  CapturingConsole console;
  ScopedActiveConsole active(console);
  TestUpdateServer server;
  server.AddFile(".", "ETC", "tool.exe", "tool");
  server.AddFile("NR2", "SERVO", "drive.csv", "p");
  server.SetList("NR2", "SERVO", {"x.csv"}, false);

  EXPECT_EQ(ListServerFiles("PUpdate-NR2-ETC-COM1.exe", true),
            (std::vector<std::string>{"FileList", "tool.exe"}));
  EXPECT_TRUE(fs::exists(work / "filelist.hex"));
  EXPECT_EQ(ListServerFiles("PUpdate-NR2-Servo-COM1.exe", false),
            (std::vector<std::string>{"FileList", "x.csv"}));
  EXPECT_EQ(ListServerFiles("PUpdate-NR2-Servo-COM1.exe", true),
            (std::vector<std::string>{"FileList", "drive.csv"}));
  EXPECT_TRUE(ListServerFiles("PUpdate-NR2-FPGA-COM1.exe", true).empty());
  const auto targets = server.RequestTargets();
  EXPECT_TRUE(Contains(targets, "/filelist.php?MachineName=./ETC"));
  EXPECT_TRUE(Contains(targets, "/filelistx.php?MachineName=NR2/SERVO"));
}
