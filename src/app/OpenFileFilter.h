#pragma once

#include <string>
#include <vector>

namespace pellux {

// One entry of an open-file filter: what the user reads and what it matches.
struct OpenFileFilterEntry {
  std::string description;  // as written, blanks included
  std::string pattern;      // as written, blanks included
};

// Cuts a "description|pattern|...||" filter into its entries; the list ends
// at the first empty description.
std::vector<OpenFileFilterEntry> SplitOpenFileFilter(const std::string& filter);

}  // namespace pellux
