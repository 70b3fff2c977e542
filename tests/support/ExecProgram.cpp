#include "ExecProgram.h"

#include <unistd.h>

namespace pellux {

void ExecProgram(const std::string& program, const std::string& argv0,
                 const std::vector<std::string>& args) {
  std::vector<std::string> storage;
  storage.push_back(argv0.empty() ? program : argv0);
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : storage) argv.push_back(arg.data());
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
  ::_exit(127);
}

}  // namespace pellux
