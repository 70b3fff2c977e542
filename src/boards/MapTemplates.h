#pragma once

#include <string>
#include <string_view>

namespace pellux {

// The built-in device maps of the control board's two chips.
// STM32F4 with 256 KB in six sectors (685 characters).
std::string_view F4MapTemplate();
// STM32F1 high density, 256 KB in 128 pages of 2 KB (10162 characters).
const std::string& HighDensityMapTemplate();

}  // namespace pellux
