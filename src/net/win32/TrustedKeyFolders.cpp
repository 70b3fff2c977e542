#include "base/ProgramLocation.h"
#include "net/TrustedKeys.h"

namespace pellux {

std::vector<std::filesystem::path> DefaultTrustedKeyFolders() {
  const std::filesystem::path program = RunningProgramPath();
  if (program.empty()) return {};
  return {program.parent_path() / "keys"};
}

}  // namespace pellux
