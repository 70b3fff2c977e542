#include "base/CrlfLineEnds.h"

namespace pellux {

std::string CrlfLineEnds::Convert(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (const char c : text) {
    if (c == '\r') {
      pendingReturn_ = true;
      continue;
    }
    if (c == '\n') {
      out += "\r\n";
    } else {
      if (pendingReturn_) out += '\r';
      out += c;
    }
    pendingReturn_ = false;
  }
  return out;
}

std::string CrlfLineEnds::Flush() {
  if (!pendingReturn_) return {};
  pendingReturn_ = false;
  return "\r";
}

}  // namespace pellux
