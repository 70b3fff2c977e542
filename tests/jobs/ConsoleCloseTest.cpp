// Closing the console during a job: the close is held until the job has
// unwound. On Windows the console control handler itself is called, as the
// system would call it (Wine never delivers the close event to it).
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>

#include "CapturingConsole.h"
#include "TestFiles.h"
#include "base/Cancellation.h"
#include "base/ConsoleClose.h"
#include "base/JobConsole.h"
#include "jobs/ConsoleRunner.h"
#include "jobs/LoggingConsoleHost.h"

#ifdef _WIN32
#include <windows.h>

#include "base/win32/ConsoleControl.h"
#else
#include "ScopedEnv.h"
#endif

using namespace pellux;

namespace fs = std::filesystem;

namespace {
// What the system does when the user closes the job's console window.
bool CloseTheConsole() {
#ifdef _WIN32
  return HandleConsoleControl(CTRL_CLOSE_EVENT) == TRUE;
#else
  return CancelJobForClose();
#endif
}

class LogFolder {
 public:
  explicit LogFolder(const std::string& folder) {
#ifdef _WIN32
    _putenv_s("PUPDATE_LOG_DIR", folder.c_str());
#else
    env_.emplace("PUPDATE_LOG_DIR", folder);
#endif
  }
  ~LogFolder() {
#ifdef _WIN32
    _putenv_s("PUPDATE_LOG_DIR", "");
#endif
  }

 private:
#ifndef _WIN32
  std::optional<ScopedEnv> env_;
#endif
};

std::string OnlyLog(const fs::path& folder) {
  std::string content;
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    content = ReadFile(entry.path().string());
    ++count;
  }
  EXPECT_EQ(count, 1);
  return content;
}
}  // namespace

TEST(ConsoleClose, WaitsUntilTheJobHasRemovedItsFilesAndLoggedTheResult) {
  TempDir dir;
  const fs::path logs = fs::path(dir.path()) / "logs";
  const std::string temporary = dir / "map.map";
  LogFolder logFolder(logs.string());
  CapturingConsoleHost screen;
  ScopedJobLog log("P 1", LoggingConsoleHost::ClosingLineBy::Caller);

  std::promise<void> waiting;
  auto run = std::async(std::launch::async, [&] {
    return RunInConsole(
        [&](const CancelToken& cancel, JobConsole& console) {
          WriteFile(temporary, "map");
          console.Write("Flashing...\r\n");
          waiting.set_value();
          cancel.SleepFor(std::chrono::minutes(10));
          // The way out takes a while, as closing a port and a file does.
          std::this_thread::sleep_for(std::chrono::milliseconds(300));
          fs::remove(temporary);
          return true;
        },
        "CLOSED");
  });
  waiting.get_future().wait();

  ASSERT_TRUE(CloseTheConsole());
  // When the close returns, the process may end at once: everything is done.
  EXPECT_FALSE(fs::exists(temporary));
  const std::string content = OnlyLog(logs);
  EXPECT_NE(content.find("Flashing..."), std::string::npos);
  EXPECT_NE(content.find("Cancelled."), std::string::npos);
  const std::string result = "Error (cancelled)";
  const size_t end = content.find_last_not_of("\r\n");
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(content.substr(end + 1 - result.size(), result.size()), result) << content;
  EXPECT_FALSE(run.get());
  EXPECT_TRUE(ConsoleIsClosing());
}

TEST(ConsoleClose, GivesUpOnAJobThatDoesNotUnwindInTime) {
  CapturingConsoleHost screen;
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false;
  bool release = false;
  auto run = std::async(std::launch::async, [&] {
    return RunInConsole([&] {
      std::unique_lock lock(mutex);
      started = true;
      changed.notify_all();
      // Deaf to the cancellation until the test lets it go.
      changed.wait(lock, [&] { return release; });
      return true;
    });
  });
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return started; });
  }
  EXPECT_FALSE(CancelJobForClose(std::chrono::milliseconds(50)));
  {
    std::lock_guard lock(mutex);
    release = true;
    changed.notify_all();
  }
  EXPECT_FALSE(run.get());
  // With no run left a close has nothing to wait for.
  EXPECT_TRUE(CancelJobForClose(std::chrono::milliseconds(0)));
  JobCancellation().Reset();
}
