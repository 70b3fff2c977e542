#pragma once

#include <functional>

// Runs one job (RunJob on the argument vector) on a job thread with a console,
// and blocks until it has ended. False when the job failed or was cancelled.
bool RunJobInConsole(int argc, const char* const* argv);

// How the console ends a run: with the result shown until the user dismisses
// it, or at once (for a body that ends with its own "press enter" prompt).
enum class RunEnding { ShowOutcome, Immediate };

// The same for any job body; used by RunJobInConsole and by tests.
bool RunInConsole(const std::function<bool()>& job, RunEnding ending = RunEnding::ShowOutcome);
