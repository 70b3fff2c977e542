#pragma once

#include <string_view>

// True for a command-line option that Qt itself reads in dialog mode
// (-platform, -style, -reverse, ...; also written with two dashes or as
// -option=value).
bool IsToolkitOption(std::string_view argument);
