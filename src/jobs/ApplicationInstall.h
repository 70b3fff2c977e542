#pragma once

#include <ctime>
#include <filesystem>
#include <string>

namespace pellux {

class CancelToken;
class JobConsole;

// APPLICATION job: installs the machine application from a ZIP package into
// ApplicationDirectory(). The previous installation is moved aside under a
// dated backup name, the package is extracted, and the previous CFG and EL
// folders are put back. On any failure the machine keeps its previous
// installation and the result is false. Its lines go to `console`; a
// cancellation of `cancel` stops it between items and puts everything back.
bool InstallApplication(const std::string& packagePath, const CancelToken& cancel,
                        JobConsole& console);
// The same for the running job: its token and the active console.
bool InstallApplication(const std::string& packagePath);

// The same into `directory`, with `now` naming the backup.
bool InstallApplication(const std::string& packagePath, const std::filesystem::path& directory,
                        std::time_t now, const CancelToken& cancel, JobConsole& console);

}  // namespace pellux
