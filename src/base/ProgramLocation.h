#pragma once

#include <filesystem>

namespace pellux {

// Where things of this installation live. Implemented by the platform's
// backend file.

// The full path of the running program; empty when the system does not say.
std::filesystem::path RunningProgramPath();

// The default folder of the machine application: C:\Fabro on Windows,
// $HOME/Fabro elsewhere (the user database's home when HOME is unset).
std::filesystem::path DefaultApplicationDirectory();

}  // namespace pellux
