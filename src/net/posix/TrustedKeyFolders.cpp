#include "base/ProgramLocation.h"
#include "net/TrustedKeys.h"

namespace pellux {

std::vector<std::filesystem::path> DefaultTrustedKeyFolders() {
  std::vector<std::filesystem::path> folders = {"/etc/pelluxupdate/keys"};
  // The installed share/pelluxupdate/keys, beside the prefix's bin/.
  const std::filesystem::path program = RunningProgramPath();
  if (!program.empty()) {
    folders.push_back(program.parent_path().parent_path() / "share" / "pelluxupdate" / "keys");
  }
  return folders;
}

}  // namespace pellux
