#pragma once

#include <termios.h>

namespace pellux {

// termios helpers shared by both port classes.

// The termios speed constant of a baud rate; false when the rate has none.
bool BaudToSpeed(int baud, speed_t* speed);

// Raw mode with the receiver on and modem-status lines ignored, so that a
// line without carrier (a USB adapter, a pseudo-terminal) still works.
void MakeRawLine(termios* settings);

// Speed of both directions; false when the rate is not supported.
bool SetLineSpeed(termios* settings, int baud);

// Character size 5..8 (9 does not exist on POSIX); parity 0 none, 1 odd,
// 2 even; two stop bits or one.
bool SetLineFormat(termios* settings, int dataBits, int parity, bool twoStopBits);

}  // namespace pellux
