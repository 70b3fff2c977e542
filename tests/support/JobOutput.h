#pragma once

#include <string>

namespace pellux {

// A job program's console output without its last line, the one naming the
// job's log ("Log: ..." or the warning that there is none), so tests can
// look at how the job itself ended.
std::string WithoutLogLine(const std::string& output);

}  // namespace pellux
