#pragma once

#include <ctime>
#include <filesystem>
#include <string>

namespace pellux {

// APPLICATION job: installs the machine application from a ZIP package into
// ApplicationDirectory(). The previous installation is moved aside under a
// dated backup name, the package is extracted, and the previous CFG and EL
// folders are put back. On any failure the machine keeps its previous
// installation and the result is false.
bool InstallApplication(const std::string& packagePath);

// The same into `directory`, with `now` naming the backup.
bool InstallApplication(const std::string& packagePath, const std::filesystem::path& directory,
                        std::time_t now);

}  // namespace pellux
