#pragma once

#include <string>
#include <vector>

namespace pellux {

// STEP job: arguments are record file, port name, baud rate. 1 on success.
int RunImitation(const std::vector<std::string>& arguments);

}  // namespace pellux
