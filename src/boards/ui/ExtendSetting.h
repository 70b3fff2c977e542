#pragma once

#include <string>

namespace pellux {

void RunExtendSetting(const std::string& machineText, const std::string& machineKey,
                      const std::string& portName);

}  // namespace pellux
