#pragma once

#include <string>

#include "BoardCommandTwin.h"
#include "RunningFirmwareDevice.h"
#include "ScopedEnv.h"

namespace pellux {

// A running control board that answers the board commands, reached as COM4
// while it lives.
struct RunningBoard {
  explicit RunningBoard(BoardCommandTwin::Model model) : twin(model), line(twin) { line.Start(); }
  BoardCommandTwin twin;
  RunningFirmwareDevice line;
  ScopedEnv portMap{"PUPDATE_PORT_MAP", "COM4=" + line.PortPath()};
};

}  // namespace pellux
