#pragma once

#include <string>
#include <vector>

// Dialog mode of the program: runs the main dialog modally and returns the
// process exit status. `tokens` are the program's file name and arguments.
int RunDialogMode(int argc, char** argv, const std::vector<std::string>& tokens);
