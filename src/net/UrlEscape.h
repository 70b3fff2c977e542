#pragma once

#include <string>
#include <string_view>

namespace pellux {

// A machine key, mode or file name as it goes into a server URL's path or
// query value: every byte a URL cannot carry there is written as %XX (space,
// '"', '#', '%', '&', '+', '<', '>', '?', '[', '\', ']', '^', '`', '{', '|',
// '}', control bytes and every byte from 0x80 on); '/' stays, it separates
// the key, the mode and the file. Servers decode %XX in paths and query
// values, so the name they see is the name in the list.
std::string EscapeUrlValue(std::string_view text);

}  // namespace pellux
