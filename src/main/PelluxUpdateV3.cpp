// The one program: runs a single job in the terminal when its file name is a
// job specification (PUpdate-NR2-Firmware-COM3), otherwise opens the dialog.
#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "jobs/ConsoleRunner.h"
#include "net/ServerBaseUrl.h"

#ifdef PUPDATE_WITH_UI
#include "app/ui/DialogMode.h"
#endif

namespace {
std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
}  // namespace

int main(int argc, char** argv) {
  // The tokens are the program's own file name and the arguments as given.
  std::vector<std::string> tokens;
  tokens.push_back(BaseName(argc > 0 && argv[0] ? argv[0] : ""));
  for (int i = 1; i < argc; ++i) tokens.emplace_back(argv[i]);

  const ProgramNameAnalysis analysis = AnalyseProgramName(tokens[0]);
  if (analysis.serverUrl) SetServerBaseUrl(*analysis.serverUrl);
  std::string error;
  if (!ApplyServerUrlFromEnvironment(error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }

  if (analysis.consoleJob) {
    std::vector<const char*> jobArgs;
    for (const std::string& token : tokens) jobArgs.push_back(token.c_str());
    const bool ok = RunJobInConsole(static_cast<int>(jobArgs.size()), jobArgs.data());
    std::printf("%s\n", ok ? "Complete" : "Error");
    std::fflush(stdout);
    return ok ? 0 : 1;
  }

#ifdef PUPDATE_WITH_UI
  return RunDialogMode(argc, argv, tokens);
#else
  std::fprintf(stderr,
               "This build has no dialog: start the program under a job name such as "
               "PUpdate-NR2-Firmware-COM3.\n");
  return 1;
#endif
}
