#pragma once

namespace pellux {

class CancelToken;
class JobConsole;

// The flash loader command interpreter on the process-wide bootloader link.
// texts[0] is a program name and is skipped. Returns 0 when the list was
// worked through, 1 after a failure, -1 when a routine file could not be
// loaded. Its lines and prompts go to `console`; every wait, the link's
// included, ends once `cancel` is cancelled.
int runFlashLoader(int count, const char* const* texts, const CancelToken& cancel,
                   JobConsole& console);
// The same for the running job: its token and the active console.
int runFlashLoader(int count, const char* const* texts);

// Prints the usage text.
void printFlashLoaderUsage(JobConsole& console);
void printFlashLoaderUsage();

}  // namespace pellux
