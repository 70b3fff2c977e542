#pragma once

#include <filesystem>
#include <string>

namespace pellux {

// Where things of this installation live. Implemented by the platform's
// backend file.

// The full path of the running program; empty when the system does not say.
std::filesystem::path RunningProgramPath();

// The file name the program was started under, which can name a job
// (PUpdate-NR2-Firmware-COM3.exe). On Windows the module's own file, whatever
// the launcher wrote first on the command line; elsewhere the last part of
// `firstToken` (argv[0]), since a job copy there may be a link that the
// running program's path would resolve to the program it points to.
std::string ProgramFileName(const char* firstToken);

// The default folder of the machine application: C:\Fabro on Windows,
// $HOME/Fabro elsewhere (the user database's home when HOME is unset).
std::filesystem::path DefaultApplicationDirectory();

// The folder the dialog works in, for its jobs' temporary files: the user's
// own %LOCALAPPDATA%\PelluxUpdate on Windows, where a program is often
// started in a folder its user cannot write (the install folder, System32);
// empty elsewhere (the current folder, as started).
std::filesystem::path DialogWorkFolder();

}  // namespace pellux
