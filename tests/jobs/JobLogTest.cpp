// The job log decorator in process: real files in a temporary folder, the
// job run by the real console runner over a capturing console.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "CapturingConsole.h"
#include "ScopedEnv.h"
#include "TestFiles.h"
#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "jobs/ConsoleRunner.h"
#include "jobs/JobLogFile.h"
#include "jobs/JobLogRotation.h"
#include "jobs/LoggingConsoleHost.h"

using namespace pellux;

namespace fs = std::filesystem;

namespace {
std::vector<std::string> Files(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "the log ends with a line end";
  return lines;
}

// Strips "2026-12-08 23:45:01.250  " after checking it is there.
std::string Text(const std::string& line) {
  static const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}(?:  (.+))?)");
  std::smatch match;
  EXPECT_TRUE(std::regex_match(line, match, stamped)) << line;
  return match.size() > 1 ? match[1].str() : line;
}
}  // namespace

TEST(JobLog, TranscriptHeadAnswersAndResult) {
  TempDir dir;
  ScopedEnv logDir("PUPDATE_LOG_DIR", dir / "logs");
  CapturingConsoleHost screen;
  screen.console.PushKey('\n');
  ScopedJobLog log("TestProgram 9.9", LoggingConsoleHost::ClosingLineBy::Console);
  const bool ok = RunInConsole(
      [](const CancelToken& cancel, JobConsole& console) {
        console.Write("\r\nDownloading\r\n[-----] (0%)\r");
        console.Write("\r[#####] (100%)          \n");
        console.Write("And press enter key...");
        return console.ReadKey(cancel) == '\n';
      },
      "PUPDATE-NR2-FIRMWARE-COM3");
  ASSERT_TRUE(ok);

  const std::vector<std::string> files = Files(dir / "logs");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(std::regex_match(
      files[0], std::regex(R"(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d_PUPDATE-NR2-FIRMWARE-COM3\.log)")))
      << files[0];
  const std::string path = (dir.path() / "logs" / files[0]).string();
  const std::string content = ReadFile(path);
  EXPECT_EQ(content.find('\r'), std::string::npos);
  std::vector<std::string> texts;
  for (const std::string& line : LinesOf(content)) texts.push_back(Text(line));
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "TestProgram 9.9, job PUPDATE-NR2-FIRMWARE-COM3", "", "Downloading",
                       "[#####] (100%)", "And press enter key...", "(key: Enter)", "Complete"}));
  // The screen got the job's bytes unchanged, then the line naming the log.
  EXPECT_EQ(screen.console.Output(),
            "\r\nDownloading\r\n[-----] (0%)\r\r[#####] (100%)          \nAnd press enter key..."
            "Log: " +
                path + "\r\n");
  EXPECT_EQ(log.ClosingLine(), "Log: " + path);
}

TEST(JobLog, FailedAndCancelledRunsSayHowTheyEnded) {
  TempDir dir;
  ScopedEnv logDir("PUPDATE_LOG_DIR", dir.path().string());
  CapturingConsoleHost screen;
  screen.console.CloseInput();
  ScopedJobLog log("P 1", LoggingConsoleHost::ClosingLineBy::Caller);
  EXPECT_FALSE(RunInConsole([] { return false; }, "FAILING"));
  EXPECT_FALSE(RunInConsole(
      [](const CancelToken& cancel, JobConsole& console) {
        console.Write("waiting");
        const int key = console.ReadKey(cancel);  // end of input, as after Ctrl+C
        JobCancellation().Cancel();
        return key >= 0;
      },
      "CANCELLED"));
  // The caller prints the closing line itself.
  EXPECT_EQ(screen.console.Output().find("Log: "), std::string::npos);
  for (const std::string& name : Files(dir.path())) {
    const std::vector<std::string> lines = LinesOf(ReadFile(dir / name));
    ASSERT_FALSE(lines.empty());
    if (name.find("FAILING") != std::string::npos) {
      EXPECT_EQ(Text(lines.back()), "Error") << name;
    } else {
      ASSERT_GE(lines.size(), 4u);
      EXPECT_EQ(Text(lines[lines.size() - 4]), "waiting");
      EXPECT_EQ(Text(lines[lines.size() - 3]), "(no key: end of input or cancelled)");
      EXPECT_EQ(Text(lines[lines.size() - 2]), "Cancelled.");
      EXPECT_EQ(Text(lines.back()), "Error (cancelled)") << name;
    }
  }
  EXPECT_EQ(Files(dir.path()).size(), 2u);
}

TEST(JobLog, AnUnwritableFolderNeverFailsTheJob) {
  TempDir dir;
  WriteFile(dir / "file", "not a folder");
  ScopedEnv logDir("PUPDATE_LOG_DIR", dir / "file/logs");
  CapturingConsoleHost screen;
  ScopedJobLog log("P 1", LoggingConsoleHost::ClosingLineBy::Console);
  EXPECT_TRUE(RunInConsole(
      [] {
        ConsoleWrite("working\r\n");
        return true;
      },
      "JOB"));
  EXPECT_EQ(log.ClosingLine().rfind("Warning: no job log was written: cannot create ", 0), 0u)
      << log.ClosingLine();
  EXPECT_NE(log.ClosingLine().find("PUPDATE_LOG_DIR"), std::string::npos);
  // One warning line, after the job's own output.
  EXPECT_EQ(screen.console.Output(), "working\r\n" + log.ClosingLine() + "\r\n");
}

TEST(JobLog, SameSecondJobsGetFilesOfTheirOwn) {
  TempDir dir;
  const auto now = JobLogFile::Clock::now();
  JobLogFile first(dir.path(), "PUPDATE-A/B", now);
  JobLogFile second(dir.path(), "PUPDATE-A/B", now);
  ASSERT_TRUE(first.IsOpen()) << first.Error();
  ASSERT_TRUE(second.IsOpen()) << second.Error();
  EXPECT_NE(first.Path(), second.Path());
  // A name from the server never leaves the folder.
  EXPECT_EQ(first.Path().parent_path(), dir.path());
  EXPECT_NE(first.Path().filename().string().find("PUPDATE-A_B"), std::string::npos);
  EXPECT_TRUE(first.Close());
  EXPECT_TRUE(second.Close());

  // A link planted under the next name is neither followed nor replaced.
  TempDir other;
  WriteFile(other / "precious", "keep");
  const auto later = now + std::chrono::hours(1);
  fs::create_symlink(other / "precious", dir.path() / JobLogFileName("PUPDATE-A/B", later));
  JobLogFile third(dir.path(), "PUPDATE-A/B", later);
  ASSERT_TRUE(third.IsOpen()) << third.Error();
  third.WriteLine("text", later);
  EXPECT_TRUE(third.Close());
  EXPECT_EQ(third.Path().filename().string(), JobLogFileName("PUPDATE-A/B", later, 2));
  EXPECT_EQ(ReadFile(other / "precious"), "keep");
}

TEST(JobLog, RotationKeepsTheNewestAndNothingElse) {
  TempDir dir;
  // 2026-01-01_00-00-00 ... one file a minute, in scrambled creation order.
  std::vector<std::string> logs;
  for (int i = 0; i < 205; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "2026-01-01_%02d-%02d-00_PUPDATE-X.log", i / 60, i % 60);
    logs.push_back(name);
  }
  for (size_t i = 0; i < logs.size(); ++i) WriteFile(dir / logs[(i * 37) % logs.size()], "x");
  WriteFile(dir / "notes.txt", "kept");
  WriteFile(dir / "2020-01-01.log", "not ours");
  fs::create_directory(dir / "2019-01-01_00-00-00_FOLDER.log");

  KeepNewestJobLogs(dir.path(), 200);
  std::vector<std::string> expected(logs.begin() + 5, logs.end());
  expected.push_back("2019-01-01_00-00-00_FOLDER.log");
  expected.push_back("2020-01-01.log");
  expected.push_back("notes.txt");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Files(dir.path()), expected);
}
