#pragma once

#include <ctime>
#include <filesystem>

namespace pellux {

// The directory that holds the machine application: C:\Fabro on Windows,
// $HOME/Fabro elsewhere; PUPDATE_FABRO_DIR, when set, wins.
std::filesystem::path ApplicationDirectory();

// Where the installation in `directory` is moved aside at local time `now`:
// "<directory>-Before-yymmdd-hhmmss".
std::filesystem::path BackupDirectoryFor(const std::filesystem::path& directory, std::time_t now);

}  // namespace pellux
