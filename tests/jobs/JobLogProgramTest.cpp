// Job logs of the real programs: an online job that completes, one that
// fails, one cancelled at a prompt and a FlashLoader run, each leaving its
// transcript in the log folder, the console's last line naming it, and the
// folder kept to its newest logs.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "ApplicationInstallArchives.h"
#include "ChildProcess.h"
#include "ProgramRun.h"
#include "TestFiles.h"
#include "TestUpdateServer.h"

using namespace pellux;

namespace fs = std::filesystem;

namespace {
std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

std::vector<std::string> LogsIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Checks the stamp of every line and returns the texts.
std::vector<std::string> LogTexts(const std::string& path) {
  const std::string content = ReadFile(path);
  EXPECT_EQ(content.find('\r'), std::string::npos) << content;
  EXPECT_TRUE(!content.empty() && content.back() == '\n');
  static const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}(?:  (.+))?)");
  std::vector<std::string> texts;
  for (const std::string& line : LinesOf(content)) {
    std::smatch match;
    EXPECT_TRUE(std::regex_match(line, match, stamped)) << line;
    texts.push_back(match.size() > 1 ? match[1].str() : line);
  }
  return texts;
}

bool Holds(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class JobLogProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "src");
    WriteFile(dir_ / "src/Fabro.exe", "program");
    MakeZipWithInfoZip(dir_ / "app.zip", dir_ / "src", {"-r", "-q"});
    server_.AddFile("NR2", "APPLICATION", "app.zip", ReadFile(dir_ / "app.zip"));
    server_.AddFile("NR2", "FPGA", "image.bin", std::string(5000, 'f'));
    fs::create_directories(dir_ / "work");
  }

  ProgramRun Job(const std::string& name, const std::string& logDir, const std::string& fabro) {
    const std::string link = dir_ / name;
    if (!fs::exists(link)) fs::create_symlink(BuiltProgram("PelluxUpdateV3"), link);
    return RunProgram(link, {},
                      {{"PUPDATE_SERVER_URL", server_.BaseUrl()},
                       {"PUPDATE_LOG_DIR", logDir},
                       {"PUPDATE_FABRO_DIR", dir_ / fabro},
                       {"PUPDATE_PORT_MAP", "COM1=" + (dir_ / "no-such-port")}},
                      "", dir_ / "work");
  }

  TempDir dir_;
  TestUpdateServer server_;
};
}  // namespace

TEST_F(JobLogProgram, CompletedAndFailedJobsLeaveTheirTranscripts) {
  const std::string logs = dir_ / "logs";
  // 205 logs of earlier jobs, and a file of the user's.
  fs::create_directories(logs);
  for (int i = 0; i < 205; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "2020-01-01_00-%02d-%02d_OLD.log", i / 60, i % 60);
    WriteFile(logs + "/" + name, "old\n");
  }
  WriteFile(logs + "/README", "mine");

  const ProgramRun complete = Job("PUpdate-NR2-Application-COM1", logs, "Fabro1");
  EXPECT_EQ(complete.status, 0) << complete.out;
  const ProgramRun failed = Job("PUpdate-NR2-FPGA-COM1", logs, "Fabro2");
  EXPECT_EQ(failed.status, 1) << failed.out;

  std::vector<std::string> names = LogsIn(logs);
  ASSERT_EQ(names.size(), 201u);  // the newest 200 logs, and the user's file
  EXPECT_EQ(names.back(), "README");
  EXPECT_EQ(std::count_if(names.begin(), names.end(),
                          [](const std::string& n) { return n.find("_OLD.log") != n.npos; }),
            198);
  EXPECT_FALSE(fs::exists(logs + "/2020-01-01_00-00-06_OLD.log"));
  EXPECT_TRUE(fs::exists(logs + "/2020-01-01_00-00-07_OLD.log"));

  struct Expected {
    const ProgramRun& run;
    std::string job;
    std::string result;
    std::string banner;
    std::string step;  // a line of the update step itself
  };
  for (const Expected& expected :
       {Expected{complete, "PUPDATE-NR2-APPLICATION-COM1", "Complete",
                 "[ APPLICATION Install mode ] - PUPDATE-NR2-APPLICATION-COM1", "Complete."},
        Expected{failed, "PUPDATE-NR2-FPGA-COM1", "Error",
                 "[ FPGA Update mode ] - PUPDATE-NR2-FPGA-COM1", "Download complete: image.bin"}}) {
    const auto found = std::find_if(names.begin(), names.end(), [&](const std::string& n) {
      return n.find("_" + expected.job + ".log") != n.npos;
    });
    ASSERT_NE(found, names.end()) << expected.job;
    const std::string path = logs + "/" + *found;

    // The console: the result, then a last line naming the log.
    const std::vector<std::string> console = LinesOf(expected.run.out);
    ASSERT_GE(console.size(), 2u);
    EXPECT_EQ(console.back(), "Log: " + path);
    EXPECT_EQ(console[console.size() - 2], expected.result);

    const std::vector<std::string> texts = LogTexts(path);
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts.front().rfind("PelluxUpdateV3 ", 0), 0u) << texts.front();
    EXPECT_NE(texts.front().find(", job " + expected.job), std::string::npos);
    EXPECT_EQ(texts.back(), expected.result);
    EXPECT_TRUE(Holds(texts, expected.banner)) << ReadFile(path);
    EXPECT_TRUE(Holds(texts, expected.step)) << ReadFile(path);
    // Each download's progress bar leaves its final state only.
    const long bars = std::count_if(texts.begin(), texts.end(), [](const std::string& t) {
      return t.rfind("[", 0) == 0 && t.find("%)") != t.npos;
    });
    EXPECT_EQ(bars, 2) << ReadFile(path);
    EXPECT_TRUE(std::none_of(texts.begin(), texts.end(), [](const std::string& t) {
      return t.find("(0%)") != t.npos;
    })) << ReadFile(path);
  }
}

TEST_F(JobLogProgram, AnUnwritableLogFolderLeavesTheJobAlone) {
  WriteFile(dir_ / "file", "a file where the folder would be");
  const ProgramRun run = Job("PUpdate-NR2-Application-COM1", dir_ / "file/logs", "Fabro");
  EXPECT_EQ(run.status, 0) << run.out;
  const std::vector<std::string> console = LinesOf(run.out);
  ASSERT_GE(console.size(), 2u);
  EXPECT_EQ(console[console.size() - 2], "Complete");
  EXPECT_EQ(console.back().rfind("Warning: no job log was written: cannot create ", 0), 0u)
      << run.out;
  EXPECT_EQ(ReadFile(dir_ / "Fabro/Fabro.exe"), "program");
}

TEST_F(JobLogProgram, FlashLoaderRunsAreLoggedToo) {
  const std::string logs = dir_ / "logs";
  // No such port: the loader says so, waits for a key (none comes) and fails.
  const ProgramRun run =
      RunProgram(BuiltProgram("FlashLoader"), {"-c", "--pn", "PUPDATE-NO-SUCH-PORT"},
                 {{"PUPDATE_LOG_DIR", logs}}, "", dir_ / "work");
  EXPECT_NE(run.status, 0);
  const std::vector<std::string> names = LogsIn(logs);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_NE(names[0].find("_FLASHLOADER.log"), std::string::npos) << names[0];
  const std::vector<std::string> console = LinesOf(run.out);
  ASSERT_FALSE(console.empty());
  EXPECT_EQ(console.back(), "Log: " + logs + "/" + names[0]);

  const std::vector<std::string> texts = LogTexts(logs + "/" + names[0]);
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(texts.front().rfind("FlashLoader ", 0), 0u) << texts.front();
  EXPECT_TRUE(Holds(texts, "Opening Port \t\t\t\t [KO]")) << ReadFile(logs + "/" + names[0]);
  EXPECT_TRUE(Holds(texts, "(no key: end of input or cancelled)"));
  EXPECT_EQ(texts.back(), "Error");
}

TEST_F(JobLogProgram, CtrlCAtAPromptIsLoggedAsCancelled) {
  const std::string logs = dir_ / "logs";
  WriteFile(dir_ / "work/fw.hex", ":020000040800F2\n:0400000001020304F2\n:00000001FF\n");
  const std::string link = dir_ / "PUpdate-NR2-Initialize-COM1";
  std::filesystem::create_symlink(BuiltProgram("PelluxUpdateV3"), link);
  ChildProcess job(link, {"fw.hex", "local"}, {{"PUPDATE_LOG_DIR", logs}}, "", dir_ / "work");
  ASSERT_TRUE(job.WaitForOutput("And press enter key...")) << job.Output();
  job.Signal(SIGINT);
  EXPECT_EQ(job.Wait(), 1);

  const std::vector<std::string> names = LogsIn(logs);
  ASSERT_EQ(names.size(), 1u);
  const std::vector<std::string> console = LinesOf(job.Output());
  ASSERT_GE(console.size(), 2u);
  EXPECT_EQ(console.back(), "Log: " + logs + "/" + names[0]);
  EXPECT_EQ(console[console.size() - 2], "Error");
  const std::vector<std::string> texts = LogTexts(logs + "/" + names[0]);
  EXPECT_TRUE(Holds(texts, "And press enter key...")) << ReadFile(logs + "/" + names[0]);
  EXPECT_TRUE(Holds(texts, "(no key: end of input or cancelled)"));
  EXPECT_EQ(texts.back(), "Error (cancelled)");
}
