#pragma once

#include <string>
#include <utility>
#include <vector>

namespace pellux {

// Name of the machine list file at the server's base URL.
inline constexpr const char* kMachineListFileName = "machlist.txt";

struct MachineListEntry {
  std::string displayName;
  std::string key;
};

// The entries of a machine list text in file order. Lines are cut at line
// feeds and commas without trimming (a carriage return stays in the key);
// only a line of exactly two comma pieces makes an entry.
std::vector<MachineListEntry> ParseMachineList(const std::string& text);

}  // namespace pellux
