#include "ProgramVersion.h"

const char* BuildRevisionText();  // generated

std::string_view ProjectVersion() {
  return PUPDATE_PROJECT_VERSION;
}

std::string_view BuildRevision() {
  return BuildRevisionText();
}

std::string VersionLine(std::string_view program) {
  std::string line(program);
  line += ' ';
  line += ProjectVersion();
  if (!BuildRevision().empty()) {
    line += " (git ";
    line += BuildRevision();
    line += ')';
  }
  return line;
}
