#include "app/ConsoleJobMode.h"

#include "base/ConsoleClose.h"
#include "base/JobTerminal.h"
#include "base/TerminalConsole.h"
#include "jobs/ConsoleRunner.h"
#include "jobs/LoggingConsoleHost.h"

namespace pellux {

int RunConsoleJobMode(const std::vector<std::string>& tokens, const std::string& programLine) {
  JobTerminal terminal(JobTerminal::Use::StartingConsole);
  // The window says which job it shows.
  if (!tokens.empty()) terminal.SetTitle("PelluxUpdate - " + tokens[0]);
  std::vector<const char*> jobArgs;
  for (const std::string& token : tokens) jobArgs.push_back(token.c_str());
  bool complete = false;
  std::string closingLine;
  {
    ScopedJobLog jobLog(programLine, LoggingConsoleHost::ClosingLineBy::Caller);
    complete = RunJobInConsole(static_cast<int>(jobArgs.size()), jobArgs.data());
    closingLine = jobLog.ClosingLine();
  }
  TerminalConsole& console = TerminalConsole::Instance();
  console.Write(complete ? "Complete\n" : "Error\n");
  if (!closingLine.empty()) console.Write(closingLine + "\n");
  // A closed console ends the process now; nobody is left to see a box.
  if (!ConsoleIsClosing()) terminal.ShowResultBox(complete);
  return complete ? 0 : 1;
}

}  // namespace pellux
