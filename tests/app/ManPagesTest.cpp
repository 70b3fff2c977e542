// The man pages render without a warning and document every option their
// program's --help lists.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "ProgramRun.h"
#include "TestFiles.h"

using namespace pellux;

namespace {
std::string ManPage(const std::string& program) {
  return std::string(PUPDATE_SOURCE_DIR) + "/docs/man/" + program + ".1";
}

// ASCII and wide lines, so options come out whole and as typed.
ProgramRun Render(const std::string& page) {
  return RunProgram("/usr/bin/man", {"--warnings", "-E", "ascii", "-l", page},
                    {{"MANWIDTH", "250"}, {"MANPAGER", "cat"}, {"PAGER", "cat"}});
}

std::set<std::string> LongOptions(const std::string& text) {
  static const std::regex option(R"(--[A-Za-z][A-Za-z-]*)");
  std::set<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
       it != std::sregex_iterator(); ++it) {
    found.insert(it->str());
  }
  return found;
}
}  // namespace

TEST(ManPages, RenderWithoutWarnings) {
  for (const char* program : {"PelluxUpdateV3", "FlashLoader", "pupdate-server", "pupdate-sim"}) {
    const ProgramRun run = Render(ManPage(program));
    EXPECT_EQ(run.status, 0) << program;
    EXPECT_EQ(run.err, "") << program;
    for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "EXIT STATUS", "SEE ALSO"}) {
      EXPECT_NE(run.out.find(section), std::string::npos) << program << ": " << section;
    }
    EXPECT_NE(run.out.find("--version"), std::string::npos) << program;
  }
}

TEST(ManPages, DocumentEveryOptionOfTheHelp) {
  for (const char* program : {"PelluxUpdateV3", "pupdate-server", "pupdate-sim"}) {
    const std::string help = RunProgram(BuiltProgram(program), {"--help"}).out;
    const std::set<std::string> documented = LongOptions(Render(ManPage(program)).out);
    const std::set<std::string> offered = LongOptions(help);
    ASSERT_FALSE(offered.empty()) << program;
    for (const std::string& option : offered) {
      EXPECT_TRUE(documented.count(option)) << program << " " << option;
    }
  }
}
