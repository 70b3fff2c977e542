#pragma once

namespace pellux {

// The flash loader command interpreter. texts[0] is a program name and is
// skipped. Returns 0 when the list was worked through, 1 after a failure,
// -1 when a routine file could not be loaded.
int runFlashLoader(int count, const char* const* texts);

// Prints the usage text.
void printFlashLoaderUsage();

}  // namespace pellux
