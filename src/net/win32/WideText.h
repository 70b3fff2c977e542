#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pellux {

// UTF-8 to UTF-16 and back for the wide Windows calls; a text that cannot be
// converted gives an empty result.
std::wstring ToWide(std::string_view text);
std::string FromWide(std::wstring_view text);

// The text in the ANSI code page, which narrow file names are read in;
// nothing when a character has no place in it.
std::optional<std::string> ToAnsiCodePage(std::wstring_view text);

}  // namespace pellux
