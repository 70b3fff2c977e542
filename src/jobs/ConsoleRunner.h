#pragma once

#include <functional>
#include <string_view>

namespace pellux {

// Runs one job (RunJob on the argument vector) on a job thread with a console,
// and blocks until it has ended. False when the job failed or was cancelled.
bool RunJobInConsole(int argc, const char* const* argv);

// How the console ends a run: with the result held until the user dismisses
// it, or at once (for a body that ends with its own "press enter" prompt).
enum class RunEnding { HoldResult, Immediate };

// The same for any job body; used by RunJobInConsole and by tests. `name`
// names the run for the console host (its log, for one).
bool RunInConsole(const std::function<bool()>& job, std::string_view name = "JOB",
                  RunEnding ending = RunEnding::HoldResult);

}  // namespace pellux
