#pragma once

#include <string>

#include "boards/BoardLine.h"

namespace pellux {

class CCamVer1;

// Waits up to `milliseconds` for the board's next answer while the dialog
// keeps painting (user input waits until it is over). True when an answer
// came; it has then been taken.
bool WaitForBoardAnswer(CCamVer1& board, int milliseconds);

// Lets `milliseconds` pass the same way.
void PauseKeepingPainted(int milliseconds);

}  // namespace pellux
