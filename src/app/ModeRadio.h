#pragma once

#include <string>

namespace pellux {

// The Mode radio buttons of the main dialog (None: no button checked).
enum class ModeRadio { None, Firmware, Fpga, Initialize, Application };

// The mode word a job specification gets for a radio button ("" for None).
std::string ModeWord(ModeRadio mode);

// The open-file filter of Local Update for a radio button ("" for None),
// in the "description|pattern||" form.
std::string LocalUpdateFilter(ModeRadio mode);

}  // namespace pellux
