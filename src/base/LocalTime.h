#pragma once

#include <ctime>

// `when` broken down in the local time zone; thread-safe. Implemented by the
// platform's backend file.
std::tm LocalTimeOf(std::time_t when);
