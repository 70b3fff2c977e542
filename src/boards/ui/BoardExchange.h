#pragma once

#include <string>

#include "serial/SerialCommunication.h"

class CCamVer1;

// The line of every exchange with the running board: 19200 bit/s, 8N1.
SerialSettings BoardLineSettings(const std::string& portName);

// Waits up to `milliseconds` for the board's next answer while the dialog
// keeps painting (user input waits until it is over). True when an answer
// came; it has then been taken.
bool WaitForBoardAnswer(CCamVer1& board, int milliseconds);

// Lets `milliseconds` pass the same way.
void PauseKeepingPainted(int milliseconds);
