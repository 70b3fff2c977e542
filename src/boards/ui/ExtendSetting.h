#pragma once

#include <string>

namespace pellux {

// The main dialog's Extend Setting button: nothing for the key "NONE", the
// extend setting dialog of the machine on `portName` (chosen by its display
// name), or the message box "This machine has no extend setting function.".
void RunExtendSetting(const std::string& machineText, const std::string& machineKey,
                      const std::string& portName);

}  // namespace pellux
