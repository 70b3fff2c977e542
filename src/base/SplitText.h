#pragma once

#include <string>
#include <vector>

namespace pellux {

// Cuts a text at one delimiter the way successive line reads cut a stream:
// an empty text gives no piece, adjacent delimiters give an empty piece, a
// delimiter at the very end gives no empty last piece. Nothing is trimmed.
std::vector<std::string> SplitText(const std::string& text, char delimiter);

}  // namespace pellux
