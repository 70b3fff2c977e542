#pragma once

#include <string>
#include <vector>

namespace pellux {

// In a forked child: run `program` with argv[0] = `argv0` (the program's
// path when empty) and `args`. Never returns; status 127 when exec fails.
[[noreturn]] void ExecProgram(const std::string& program, const std::string& argv0,
                              const std::vector<std::string>& args);

}  // namespace pellux
