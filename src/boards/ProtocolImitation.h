#pragma once

#include <string>
#include <vector>

namespace pellux {

class CancelToken;
class JobConsole;

// STEP job: arguments are record file, port name, baud rate. 1 on success.
// Its lines go to `console`; it ends, 0, once `cancel` is cancelled.
int RunImitation(const std::vector<std::string>& arguments, const CancelToken& cancel,
                 JobConsole& console);
// The same for the running job: its token and the active console.
int RunImitation(const std::vector<std::string>& arguments);

}  // namespace pellux
