// The Windows console pieces that a test can reach without a screen: the
// job logs' folder and line ends and a key prompt on a pipe that never
// gets a byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>

#include "TestFiles.h"
#include "base/Cancellation.h"
#include "base/TerminalConsole.h"
#include "jobs/JobLogFile.h"
#include "jobs/JobLogFolder.h"

using namespace pellux;

namespace fs = std::filesystem;

TEST(WindowsJobLogs, FolderIsLocalAppDataEvenWithoutTheVariable) {
  const char* variable = std::getenv("LOCALAPPDATA");
  ASSERT_NE(variable, nullptr) << "Wine sets LOCALAPPDATA";
  const fs::path expected = fs::path(variable) / "PelluxUpdate" / "logs";
  EXPECT_EQ(DefaultJobLogFolder(), expected);
  const std::string saved = variable;
  _putenv_s("LOCALAPPDATA", "");
  const fs::path withoutVariable = DefaultJobLogFolder();
  _putenv_s("LOCALAPPDATA", saved.c_str());
  EXPECT_EQ(withoutVariable, expected);
}

TEST(WindowsJobLogs, LinesEndInCarriageReturnAndLineFeed) {
  TempDir dir;
  fs::path path;
  {
    JobLogFile log(dir.path(), "CRLF", JobLogFile::Clock::now());
    ASSERT_TRUE(log.IsOpen()) << log.Error();
    path = log.Path();
    log.WriteLine("first", JobLogFile::Clock::now());
    log.WriteLine("second", JobLogFile::Clock::now());
    ASSERT_TRUE(log.Close());
  }
  const std::string content = ReadFile(path.string());
  EXPECT_EQ(content.size() - content.find("second") - 6, 2u);
  EXPECT_NE(content.find("first\r\n"), std::string::npos);
  EXPECT_EQ(content.find("\r\r"), std::string::npos);
  EXPECT_EQ(content.back(), '\n');
}

TEST(WindowsTerminal, APromptOnASilentPipeEndsOnCancel) {
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  const HANDLE savedInput = GetStdHandle(STD_INPUT_HANDLE);
  SetStdHandle(STD_INPUT_HANDLE, readEnd);
  CancelToken& cancel = JobCancellation();
  cancel.Reset();
  auto prompt =
      std::async(std::launch::async, [&] { return TerminalConsole::Instance().ReadKey(cancel); });
  EXPECT_EQ(prompt.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  cancel.Cancel();
  EXPECT_EQ(prompt.get(), -1);
  cancel.Reset();
  // A byte written later is the next prompt's answer: nothing is lost.
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(writeEnd, "y", 1, &written, nullptr));
  EXPECT_EQ(TerminalConsole::Instance().ReadKey(cancel), 'y');
  CloseHandle(writeEnd);
  EXPECT_EQ(TerminalConsole::Instance().ReadKey(cancel), -1);  // the writer has gone
  SetStdHandle(STD_INPUT_HANDLE, savedInput);
  CloseHandle(readEnd);
}
