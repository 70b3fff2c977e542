#pragma once

#include <string>
#include <vector>

namespace pellux {

// Resolves a port name to a device path, in this order: an alias of
// PUPDATE_PORT_MAP ("COM3=/dev/pts/4,COM7=/dev/ttyUSB0", names matched without
// regard to case); a device /dev/<name> (case-insensitive); an absolute path.
// Empty when the name resolves to nothing.
std::string ResolvePortName(const std::string& name);

// The alias names of PUPDATE_PORT_MAP, in the order given there.
std::vector<std::string> PortAliasNames();

// Natural order of port names: COM2 before COM10; byte order otherwise.
bool ComPortLess(const std::string& a, const std::string& b);

// Sorts stably with ComPortLess. Safe for any names, although that order is
// not transitive for every mix of numbered and unnumbered names.
void SortPortNames(std::vector<std::string>& names);

}  // namespace pellux
