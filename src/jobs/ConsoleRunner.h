#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pellux {

class CancelToken;
class JobConsole;

// Runs one job (RunJob on the argument vector) on a job thread with a console,
// and blocks until it has ended. False when the job failed or was cancelled.
bool RunJobInConsole(int argc, const char* const* argv);
// The same for a job argument vector held as texts (a dialog's).
bool RunJobInConsole(const std::vector<std::string>& args);

// How the console ends a run: with the result held until the user dismisses
// it, or at once (for a body that ends with its own "press enter" prompt).
enum class RunEnding { HoldResult, Immediate };

// A job body: it talks to `console` and waits on `cancel`, the process's job
// token, which Ctrl+C (or closing the console window) cancels.
using JobBody = std::function<bool(const CancelToken& cancel, JobConsole& console)>;

// The same for any job body; used by RunJobInConsole and by tests. `name`
// names the run for the console host (its log, for one). The console is
// also the active one while the body runs.
bool RunInConsole(const JobBody& job, std::string_view name = "JOB",
                  RunEnding ending = RunEnding::HoldResult);
// For a body that takes neither.
bool RunInConsole(const std::function<bool()>& job, std::string_view name = "JOB",
                  RunEnding ending = RunEnding::HoldResult);

}  // namespace pellux
