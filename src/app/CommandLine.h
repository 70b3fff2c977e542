#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pellux {

// Splits a Windows-style command line into tokens (quotes group spaces).
std::vector<std::string> CommandLineTokens(const std::string& commandLine);

// What the program's own file name decides.
struct ProgramNameAnalysis {
  std::string leadingName;               // upper-cased name before the first '.'
  bool consoleJob = false;               // leading name is exactly "PUPDATE"
  bool localMode = false;                // leading name ends in 'L'
  std::optional<std::string> serverUrl;  // from a "PIP-a.b.c.d" name
};

// Analyses the first command-line token (the program path as written).
ProgramNameAnalysis AnalyseProgramName(const std::string& firstToken);

// The leading name of a first token: the upper-cased file name up to its
// first '.', cut at the first '-' of the whole token.
std::string LeadingName(const std::string& firstToken);

// True for the titles of the machine application and the CAM program, which
// the start-up asks to exit ("FBWin..." and "TWKCA..."); only the first 254
// characters of a title are looked at.
bool IsConflictingWindowTitle(const std::string& title);

}  // namespace pellux
