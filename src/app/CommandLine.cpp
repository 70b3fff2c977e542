#include "app/CommandLine.h"

#include "base/AsciiCase.h"
#include "base/SplitText.h"

namespace pellux {

std::vector<std::string> CommandLineTokens(const std::string& commandLine) {
  std::vector<std::string> tokens;
  std::string current;
  bool quoting = false;
  for (char c : commandLine) {
    if (c == '"') {
      if (!current.empty() && quoting) {
        quoting = false;
        tokens.push_back(current);
        current.clear();
      } else {
        quoting = true;
      }
    } else if (c == ' ') {
      if (quoting) {
        current += c;
      } else if (!current.empty()) {
        tokens.push_back(current);
        current.clear();
      }
    } else {
      current += c;
    }
  }
  if (!current.empty() && !quoting) tokens.push_back(current);
  return tokens;
}

namespace {
// The last path component of the token cut at its first hyphen.
std::string FileNamePart(const std::string& firstToken) {
  const auto hyphenPieces = SplitText(firstToken, '-');
  const std::string prefix = hyphenPieces.empty() ? std::string() : hyphenPieces.front();
  const auto pathPieces = SplitText(prefix, '\\');
  return pathPieces.empty() ? prefix : pathPieces.back();
}
}  // namespace

std::string LeadingName(const std::string& firstToken) {
  const auto dotPieces = SplitText(FileNamePart(firstToken), '.');
  return dotPieces.empty() ? std::string() : UpperAscii(dotPieces.front());
}

ProgramNameAnalysis AnalyseProgramName(const std::string& firstToken) {
  ProgramNameAnalysis result;
  const std::string name = FileNamePart(firstToken);
  if (name == "PIP") {
    const auto hyphenPieces = SplitText(firstToken, '-');
    if (hyphenPieces.size() >= 2) {
      const auto address = SplitText(hyphenPieces[1], '.');
      // A name with fewer than four address pieces leaves the address alone.
      if (address.size() >= 4) {
        result.serverUrl =
            "http://" + address[0] + "." + address[1] + "." + address[2] + "." + address[3] + "/";
      }
    }
  }
  result.leadingName = LeadingName(firstToken);
  result.consoleJob = result.leadingName == "PUPDATE";
  result.localMode = !result.leadingName.empty() && result.leadingName.back() == 'L';
  return result;
}

bool IsConflictingWindowTitle(const std::string& title) {
  const std::string seen = title.substr(0, 254);
  const std::string prefix = seen.substr(0, 5);
  return prefix == "FBWin" || prefix == std::string("TWKCAM").substr(0, 5);
}

}  // namespace pellux
