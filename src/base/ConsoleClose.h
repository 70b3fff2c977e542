#pragma once

#include <chrono>

namespace pellux {

// Closing the console a job runs in: the system gives the process a few
// seconds and then ends it. In that time the job is cancelled like Ctrl+C
// and the close waits until the run has unwound (ports closed, temporary
// files removed, the log's result written), so nothing is cut off.

// How long the close waits for the run: a little under the system's grace.
inline constexpr std::chrono::milliseconds kConsoleCloseGrace{4500};

// The console runner marks each run.
void JobRunStarted();
void JobRunEnded();

// Cancels the running job (JobCancellation()) and waits until its run has
// ended, at most `limit`. True when no run is left. Safe on any thread.
bool CancelJobForClose(std::chrono::milliseconds limit = kConsoleCloseGrace);

// True once CancelJobForClose was called: the process is about to end, so
// nothing waits for the user any more.
bool ConsoleIsClosing();

}  // namespace pellux
