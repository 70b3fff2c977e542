// The lifetime of a WinINet session against its status callback, which
// WinINet runs on its own threads and may run after the session has been
// woken for the last time. The callback is the one the session installs,
// taken back from WinINet itself.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/Cancellation.h"
#include "net/win32/InternetSession.h"

using namespace pellux;

namespace {
// The sessions here are never cancelled.
const CancelToken running;

INTERNET_STATUS_CALLBACK InstalledCallback(const InternetSession& session) {
  const INTERNET_STATUS_CALLBACK installed = InternetSetStatusCallbackW(session.root(), nullptr);
  InternetSetStatusCallbackW(session.root(), installed);
  return installed;
}

// What WinINet sends last for a handle, and what it sends when a call ends.
void SendLateCallbacks(INTERNET_STATUS_CALLBACK callback, DWORD_PTR context) {
  HINTERNET closing = reinterpret_cast<HINTERNET>(static_cast<DWORD_PTR>(2));
  callback(closing, context, INTERNET_STATUS_HANDLE_CLOSING, &closing, sizeof closing);
  INTERNET_ASYNC_RESULT result{1, 0};
  callback(closing, context, INTERNET_STATUS_REQUEST_COMPLETE, &result, sizeof result);
}
}  // namespace

TEST(InternetSessionTest, ContextsOfEndedSessionsAreNeverReusedAndReachNothing) {
  INTERNET_STATUS_CALLBACK callback = nullptr;
  DWORD_PTR ended = 0;
  {
    InternetSession session(L"SessionTest", running);
    ASSERT_NE(session.root(), nullptr);
    callback = InstalledCallback(session);
    ended = session.context();
  }
  ASSERT_NE(callback, nullptr);
  ASSERT_NE(ended, 0u);

  // The next session may well live where the ended one lived: a late
  // callback of the ended session must not reach it.
  InternetSession next(L"SessionTest", running);
  ASSERT_NE(next.root(), nullptr);
  EXPECT_NE(next.context(), ended);
  INTERNET_ASYNC_RESULT timedOut{0, ERROR_INTERNET_TIMEOUT};
  callback(nullptr, next.context(), INTERNET_STATUS_REQUEST_COMPLETE, &timedOut, sizeof timedOut);
  SendLateCallbacks(callback, ended);
  // The pending call ends with its own result, not with the late one's success.
  SetLastError(ERROR_IO_PENDING);
  EXPECT_FALSE(next.Complete(FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
  EXPECT_FALSE(next.Cancelled());
}

TEST(InternetSessionTest, CallbacksRacingTheEndOfSessionsAreHarmless) {
  std::atomic<DWORD_PTR> current{0};
  std::atomic<INTERNET_STATUS_CALLBACK> callback{nullptr};
  std::atomic<bool> done{false};
  std::atomic<int> sent{0};
  // WinINet's side: callbacks for whichever session is newest, alive or not.
  std::vector<std::thread> senders;
  for (int i = 0; i < 2; ++i) {
    senders.emplace_back([&] {
      while (!done) {
        const DWORD_PTR context = current;
        const INTERNET_STATUS_CALLBACK send = callback;
        if (context == 0 || send == nullptr) {
          std::this_thread::yield();
          continue;
        }
        SendLateCallbacks(send, context);
        ++sent;
      }
    });
  }
  int sessions = 0;
  for (; sessions < 300; ++sessions) {
    InternetSession session(L"SessionTest", running);
    ASSERT_NE(session.root(), nullptr);
    if (callback == nullptr) callback = InstalledCallback(session);
    current = session.context();
  }
  done = true;
  for (std::thread& sender : senders) sender.join();
  EXPECT_EQ(sessions, 300);
  EXPECT_GT(sent, 0);
}
