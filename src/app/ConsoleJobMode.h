#pragma once

#include <string>
#include <vector>

namespace pellux {

// Console job mode: runs the job that tokens[0] names, with the other tokens
// as its arguments, in the terminal (on Windows in the console the program
// was started from, else in one of its own) and writes its log. The result
// ends the output, "Complete" or "Error", then the line naming the log;
// where the job ran in a console window the "Complete" or "Error" box shows
// it too. `programLine` heads the log. Returns the exit status.
int RunConsoleJobMode(const std::vector<std::string>& tokens, const std::string& programLine);

}  // namespace pellux
