#pragma once

namespace pellux {

// The line end of text files the program writes (its logs): "\r\n" on
// Windows, "\n" elsewhere.
const char* TextLineEnd();

}  // namespace pellux
