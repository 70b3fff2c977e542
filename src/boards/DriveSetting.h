#pragma once

#include <string>
#include <vector>

namespace pellux {

class CancelToken;
class JobConsole;

// SERVO job: arguments are setting file, port name, baud rate. 1 on success.
// Its lines go to `console`; it ends, 0, once `cancel` is cancelled.
int RunDriveSetting(const std::vector<std::string>& arguments, const CancelToken& cancel,
                    JobConsole& console);
// The same for the running job: its token and the active console.
int RunDriveSetting(const std::vector<std::string>& arguments);

}  // namespace pellux
