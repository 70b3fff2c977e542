#pragma once

#include <ctime>

namespace pellux {

// `when` broken down in the local time zone; thread-safe. Implemented by the
// platform's backend file.
std::tm LocalTimeOf(std::time_t when);

}  // namespace pellux
