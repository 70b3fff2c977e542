#pragma once

#include <string>
#include <vector>

namespace pellux {

// Dialog mode of the program: runs the main dialog modally and returns the
// process exit status. `tokens` are the program's file name and arguments;
// `programLine` (name and version) heads the log of every job it runs.
int RunDialogMode(int argc, char** argv, const std::vector<std::string>& tokens,
                  const std::string& programLine);

}  // namespace pellux
