#include "JobOutput.h"

namespace pellux {

std::string WithoutLogLine(const std::string& output) {
  if (output.empty() || output.back() != '\n') return output;
  const size_t start = output.rfind('\n', output.size() - 2);
  const size_t lineStart = start == std::string::npos ? 0 : start + 1;
  const std::string last = output.substr(lineStart);
  if (last.rfind("Log: ", 0) == 0 || last.rfind("Warning: no job log", 0) == 0 ||
      last.rfind("Warning: the job log", 0) == 0) {
    return output.substr(0, lineStart);
  }
  return output;
}

}  // namespace pellux
