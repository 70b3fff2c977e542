#pragma once

#include <string>
#include <vector>

namespace pellux {

// SERVO job: arguments are setting file, port name, baud rate. 1 on success.
int RunDriveSetting(const std::vector<std::string>& arguments);

}  // namespace pellux
