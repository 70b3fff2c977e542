#pragma once

#include <string>

void RunExtendSetting(const std::string& machineText, const std::string& machineKey,
                      const std::string& portName);
