#pragma once

#include <cstdarg>
#include <string>

namespace pellux {

// printf into a std::string.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same for a va_list (which it leaves untouched for the caller's va_end).
std::string FormatTextV(const char* format, va_list args);

}  // namespace pellux
