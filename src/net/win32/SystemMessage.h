#pragma once

#include <windows.h>

#include <string>

namespace pellux {

// The system's text for an error code (WinINet's own codes from its module),
// without the line break it ends in; empty when there is none.
std::string SystemMessage(DWORD code);

}  // namespace pellux
