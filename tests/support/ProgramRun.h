#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pellux {

// What a program that ran to its end left behind.
struct ProgramRun {
  int status = -1;  // exit status, 128 + signal, or -1 when it had to be killed
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs a program with standard input at end of file and its two output
// streams kept apart. `env` adds or replaces variables; std::nullopt removes
// one. `argv0` is the name the program sees (default: `program`).
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::map<std::string, std::optional<std::string>>& env = {},
                      const std::string& argv0 = "", const std::string& workingDir = "");

}  // namespace pellux
