#pragma once

#include <string>

// APPLICATION job: installs the machine application from a ZIP package.
bool InstallApplication(const std::string& packagePath);
