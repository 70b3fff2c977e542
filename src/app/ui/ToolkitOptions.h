#pragma once

#include <string>
#include <string_view>

namespace pellux {

// True for a command-line option that Qt itself reads in dialog mode
// (-platform, -style, -reverse, ...; also written with two dashes or as
// -option=value).
bool IsToolkitOption(std::string_view argument);

// The platform named by -platform NAME (or -platform=NAME) among the
// arguments, empty when none is; Qt prefers it to QT_QPA_PLATFORM.
std::string ToolkitPlatform(int argc, const char* const* argv);

}  // namespace pellux
