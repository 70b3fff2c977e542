#include "app/ConflictingWindows.h"

namespace pellux {

// The machine application and the CAM program run on Windows only.
void CloseConflictingWindows() {}

}  // namespace pellux
