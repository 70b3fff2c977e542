#pragma once

#include <filesystem>

namespace pellux {

// The folder of the job logs: PUPDATE_LOG_DIR when set, else the platform's
// place for a program's state (DefaultJobLogFolder). Empty when neither can
// be worked out.
std::filesystem::path JobLogFolder();

// The platform's default: $XDG_STATE_HOME/PelluxUpdate/logs (else
// ~/.local/state/PelluxUpdate/logs), %LOCALAPPDATA%\PelluxUpdate\logs on Windows.
std::filesystem::path DefaultJobLogFolder();

}  // namespace pellux
