#include "base/LineEnd.h"

namespace pellux {

const char* TextLineEnd() {
  return "\n";
}

}  // namespace pellux
