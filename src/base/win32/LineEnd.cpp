#include "base/LineEnd.h"

namespace pellux {

const char* TextLineEnd() {
  return "\r\n";
}

}  // namespace pellux
