#pragma once

#include <string>
#include <vector>

namespace pellux {

class JobConsole;

// Parameters of a servo drive setting file: entry i of each list belongs to
// the i-th parameter line.
struct SettingTable {
  std::vector<std::string> names;
  std::vector<std::string> values;
  std::vector<std::string> descriptions;
};

// Reads "name=value<separators>description" lines (separators: TAB, space,
// '/'), printing its progress. False when the file cannot be opened or the
// three lists come out of unequal length.
//
// The reader is deliberately literal, since existing setting files were
// written against it: a value ends only at a separator, so a line that ends
// right after its value runs on into the next line; a byte 0xFF ends the file.
bool LoadSettingFile(const std::string& path, SettingTable& table, JobConsole& console);
// The same, printing to the active console.
bool LoadSettingFile(const std::string& path, SettingTable& table);

}  // namespace pellux
