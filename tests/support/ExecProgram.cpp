#include "ExecProgram.h"

#include <unistd.h>

#include <cstring>

extern char** environ;

namespace pellux {

ExecPlan::ExecPlan(const std::string& program, const std::string& argv0,
                   const std::vector<std::string>& args,
                   const std::map<std::string, std::optional<std::string>>& env)
    : program_(program) {
  argStorage_.push_back(argv0.empty() ? program : argv0);
  argStorage_.insert(argStorage_.end(), args.begin(), args.end());

  std::map<std::string, std::string> variables;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals == nullptr) continue;
    variables.emplace(std::string(*entry, static_cast<size_t>(equals - *entry)),
                      std::string(equals + 1));
  }
  // Job logs of tests go to the build tree, not the user's state folder.
  variables.emplace("PUPDATE_LOG_DIR", PUPDATE_BINARY_DIR "/test-job-logs");
  for (const auto& [name, value] : env) {
    if (value) {
      variables[name] = *value;
    } else {
      variables.erase(name);
    }
  }
  for (const auto& [name, value] : variables) envStorage_.push_back(name + "=" + value);

  for (std::string& arg : argStorage_) argv_.push_back(arg.data());
  argv_.push_back(nullptr);
  for (std::string& variable : envStorage_) envp_.push_back(variable.data());
  envp_.push_back(nullptr);
}

void ExecPlan::Exec() const {
  ::execve(program_.c_str(), argv_.data(), envp_.data());
  ::_exit(127);
}

}  // namespace pellux
