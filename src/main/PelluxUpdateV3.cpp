// The one program: runs a single job in the terminal when its file name is a
// job specification (PUpdate-NR2-Firmware-COM3) or when started with --job,
// otherwise opens the dialog.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ProgramVersion.h"
#include "app/CommandLine.h"
#include "app/ConflictingWindows.h"
#include "app/ConsoleJobMode.h"
#include "base/JobTerminal.h"
#include "base/ProgramLocation.h"
#include "base/TerminalConsole.h"
#include "main/PelluxUpdateUsage.h"
#include "net/ServerBaseUrl.h"

#include "main/PelluxUpdateMain.h"

#ifdef PUPDATE_WITH_UI
#include "app/ui/DialogMode.h"
#endif
#if defined(PUPDATE_WITH_UI) && !defined(_WIN32)
#include "app/ui/ToolkitOptions.h"
#endif

using namespace pellux;

namespace {
constexpr int kUsageStatus = 2;

std::string BaseName(const std::string& path) {
  // A Windows launcher writes the path with backslashes.
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int UsageError(const std::string& problem) {
  std::fprintf(stderr, "PelluxUpdateV3: %s; see PelluxUpdateV3 --help\n%s", problem.c_str(),
               PelluxUpdateSynopsis());
  return kUsageStatus;
}

// Moves the dialog into its work folder, made if need be; where that fails it
// stays in the current folder, and a job says what it cannot write.
void EnterDialogWorkFolder() {
  const std::filesystem::path folder = DialogWorkFolder();
  if (folder.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  std::filesystem::current_path(folder, error);
}

bool IsOwnOptionLike(const std::string& argument) {
#if defined(PUPDATE_WITH_UI) && !defined(_WIN32)
  if (IsToolkitOption(argument)) return false;
#endif
  return argument.size() > 1 && argument[0] == '-';
}
}  // namespace

int pellux::PelluxUpdateMain(int argc, char** argv) {
  // The tokens are the program's own file name and the arguments as given.
  std::vector<std::string> tokens;
  tokens.push_back(ProgramFileName(argc > 0 ? argv[0] : nullptr));
  for (int i = 1; i < argc; ++i) tokens.emplace_back(argv[i]);

  ProgramNameAnalysis analysis = AnalyseProgramName(tokens[0]);
  // A program under a job name hands every argument to its job unread.
  if (!analysis.consoleJob && tokens.size() > 1) {
    const std::string& first = tokens[1];
    if (first == "--help" || first == "-h" || first == "--version") {
      // A Windows program started from a console prints into that console.
      const JobTerminal terminal(JobTerminal::Use::StartingConsole);
      TerminalConsole::Instance().Write(first == "--version" ? VersionLine("PelluxUpdateV3") + "\n"
                                                             : PelluxUpdateHelp());
      return 0;
    }
    if (first == "--job") {
      if (tokens.size() < 3) return UsageError("--job needs a job name");
      const std::string spec = BaseName(tokens[2]);
      analysis = AnalyseProgramName(spec);
      if (!analysis.consoleJob) {
        return UsageError("'" + tokens[2] +
                          "' is not a job name such as PUpdate-NR2-Firmware-COM3");
      }
      if (tokens.size() > 5) return UsageError("a job takes at most FILE and the word local");
      tokens.erase(tokens.begin(), tokens.begin() + 2);
      tokens[0] = spec;
    } else if (IsOwnOptionLike(first)) {
      return UsageError("unknown option '" + first + "'");
    }
  }

  if (analysis.serverUrl) SetServerBaseUrl(*analysis.serverUrl);
  std::string error;
  if (!ApplyServerUrlFromEnvironment(error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }

  // The machine application and the CAM program are asked to exit before
  // anything could update what they use.
  CloseConflictingWindows();

  if (analysis.consoleJob) return RunConsoleJobMode(tokens, VersionLine("PelluxUpdateV3"));

  EnterDialogWorkFolder();
#ifdef PUPDATE_WITH_UI
  return RunDialogMode(argc, argv, tokens, VersionLine("PelluxUpdateV3"));
#else
  std::fprintf(stderr,
               "This build has no dialog: start the program under a job name such as "
               "PUpdate-NR2-Firmware-COM3.\n");
  return 1;
#endif
}

#ifndef _WIN32
int main(int argc, char** argv) {
  return pellux::PelluxUpdateMain(argc, argv);
}
#endif
