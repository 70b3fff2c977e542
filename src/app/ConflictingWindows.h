#pragma once

namespace pellux {

// Asks the machine application and the CAM program to exit (posts their exit
// command to every top-level window whose title IsConflictingWindowTitle
// names) and returns at once. Where there are no such windows, nothing.
void CloseConflictingWindows();

}  // namespace pellux
