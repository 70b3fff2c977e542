#pragma once

#include <string>
#include <string_view>

namespace pellux {

// Turns a console's byte stream into text with Windows line ends: a bare
// "\n" becomes "\r\n", "\r\n" stays, and the carriage returns before a line
// feed count once, so a line that ends a progress bar ("...\r" then "\r\n")
// never reads "\r\r\n" in a file. A carriage return that ends one piece is
// held until the next piece shows whether it ends a line.
class CrlfLineEnds {
 public:
  std::string Convert(std::string_view text);
  // The held carriage return, if any (before a prompt waits for the user).
  std::string Flush();

 private:
  bool pendingReturn_ = false;
};

}  // namespace pellux
