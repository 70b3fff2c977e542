#pragma once

#include <string>
#include <string_view>

namespace pellux {

// The path below the installation directory at which a ZIP item with this
// stored name lands: drive prefixes, leading separators and everything up to
// a parent-directory step are removed until none is left, '\' counts as a
// separator, and no "." or ".." component survives, so the result can never
// leave the directory. Components are joined with '/'. Empty when nothing
// usable remains.
std::string CleanZipItemName(std::string_view storedName);

// True when the stored name ends with a separator, the ZIP way of naming a folder.
bool NamesZipFolder(std::string_view storedName);

}  // namespace pellux
