#pragma once

#include <string>

#include "VirtualMachine.h"

// The command line of pupdate-sim.
struct SimOptions {
  VirtualMachineOptions machine;
  std::string faultName = "none";
  std::string portMapFile;
  bool server = false;
  int serverPort = 0;      // 0: a free port
  std::string contentDir;  // empty: a temporary folder, removed at the end
  bool help = false;
  bool version = false;
};

// False with `error` set (or empty for a plain usage error).
bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error);
const char* SimUsage();
