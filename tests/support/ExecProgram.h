#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pellux {

// Everything a forked child needs to run a program, made before the fork.
// Between fork and exec the child of a threaded test may only make
// async-signal-safe calls: another thread may have held the allocator's
// lock at the fork, so a malloc there (setenv, building argv) can hang.
class ExecPlan {
 public:
  // argv[0] is `argv0` (the program's path when empty). The environment is
  // the test's own, job logs sent to the build tree, then `env` (a value
  // sets a variable, nullopt removes it).
  ExecPlan(const std::string& program, const std::string& argv0,
           const std::vector<std::string>& args,
           const std::map<std::string, std::optional<std::string>>& env);
  ExecPlan(const ExecPlan&) = delete;
  ExecPlan& operator=(const ExecPlan&) = delete;

  // In the forked child. Never returns; status 127 when exec fails.
  [[noreturn]] void Exec() const;

 private:
  std::string program_;
  std::vector<std::string> argStorage_;
  std::vector<std::string> envStorage_;
  std::vector<char*> argv_;
  std::vector<char*> envp_;
};

}  // namespace pellux
