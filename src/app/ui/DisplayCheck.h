#pragma once

#include <string>

namespace pellux {

// True when the dialog can reach a display: the window system server that Qt
// will connect to answers, or Qt is told to use a platform that needs none
// (offscreen, vnc, linuxfb, ...). Qt aborts the process when it finds no
// display, so dialog mode asks first.
// `platform` is the one chosen on the command line, if any.
bool DisplayReachable(const std::string& platform);

}  // namespace pellux
