#pragma once

#include <string>

namespace pellux {

// Reads a whole file the way a text-mode stream reads it on the machines the
// files come from: every CR LF becomes a single LF; a lone CR stays.
// False when the file cannot be opened.
bool ReadTextModeFile(const std::string& path, std::string& content);

}  // namespace pellux
