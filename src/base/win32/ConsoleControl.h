#pragma once

#include <windows.h>

namespace pellux {

// The console control handler of a running job (CancelJobOnInterrupt
// registers it). Ctrl+C and Ctrl+Break cancel the job and the process goes
// on. Closing the console (and log-off, shut-down) cancels it too and
// returns only once the run has unwound, or just before the system's grace
// runs out; the system then ends the process.
BOOL WINAPI HandleConsoleControl(DWORD event);

}  // namespace pellux
