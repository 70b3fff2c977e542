// The four programs answer --help, --version and a wrong option the way
// users expect of a command-line tool; the names the job rules give meaning
// to keep it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "JobOutput.h"
#include "ProgramRun.h"
#include "TestFiles.h"

using namespace pellux;

namespace {
const char* const kPrograms[] = {"PelluxUpdateV3", "FlashLoader", "pupdate-server", "pupdate-sim"};

// "NAME VERSION" and, in a git checkout, " (git REVISION)".
void ExpectVersionLine(const std::string& program, const std::string& out) {
  const std::regex line("^" + program + " " +
                        std::regex_replace(PUPDATE_PROJECT_VERSION, std::regex(R"(\.)"), R"(\.)") +
                        R"(( \(git [0-9A-Za-z._-]+\))?\n$)");
  EXPECT_TRUE(std::regex_match(out, line)) << out;
}

std::string JobLink(const TempDir& dir, const std::string& name) {
  const std::string link = dir / name;
  std::filesystem::create_symlink(BuiltProgram("PelluxUpdateV3"), link);
  return link;
}

// No window system at all, as on a server or in a container.
const std::map<std::string, std::optional<std::string>> kNoDisplay = {
    {"DISPLAY", std::nullopt},
    {"WAYLAND_DISPLAY", std::nullopt},
    {"QT_QPA_PLATFORM", std::nullopt}};
}  // namespace

TEST(ProgramConventions, HelpGoesToStandardOutputWithStatusZero) {
  for (const char* program : kPrograms) {
    for (const char* option : {"--help", "-h"}) {
      const ProgramRun run = RunProgram(BuiltProgram(program), {option});
      EXPECT_EQ(run.status, 0) << program << " " << option << "\n" << run.err;
      EXPECT_EQ(run.err, "") << program << " " << option;
      EXPECT_GT(run.out.size(), 200u) << program << " " << option << "\n" << run.out;
    }
  }
}

TEST(ProgramConventions, VersionNamesTheProgramAndTheProjectVersion) {
  for (const char* program : kPrograms) {
    const ProgramRun run = RunProgram(BuiltProgram(program), {"--version"});
    EXPECT_EQ(run.status, 0) << program;
    EXPECT_EQ(run.err, "") << program;
    ExpectVersionLine(program, run.out);
  }
}

TEST(ProgramConventions, UnknownOptionPrintsUsageOnStandardErrorWithStatusTwo) {
  for (const char* program : {"PelluxUpdateV3", "pupdate-server", "pupdate-sim"}) {
    const ProgramRun run = RunProgram(BuiltProgram(program), {"--frobnicate"});
    EXPECT_EQ(run.status, 2) << program;
    EXPECT_EQ(run.out, "") << program;
    EXPECT_NE(run.err.find("--frobnicate"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Usage: " + std::string(program)), std::string::npos) << run.err;
  }
}

TEST(ProgramConventions, PelluxUpdateHelpExplainsJobsEnvironmentAndStatus) {
  const ProgramRun run = RunProgram(BuiltProgram("PelluxUpdateV3"), {"--help"});
  for (const char* part :
       {"PUpdate-<KEY>-<MODE>-<PORT>", "--job", "FILE local", "PUPDATE_SERVER_URL",
        "PUPDATE_PORT_MAP", "PUPDATE_FABRO_DIR", "Exit status"}) {
    EXPECT_NE(run.out.find(part), std::string::npos) << part << "\n" << run.out;
  }
  // The dialog names (PIP-..., ...L) are not job names: they take the options too.
  TempDir dir;
  const std::string local = dir / "PelluxUpdateV3L";
  std::filesystem::create_symlink(BuiltProgram("PelluxUpdateV3"), local);
  const ProgramRun fromLocal = RunProgram(local, {"--help"});
  EXPECT_EQ(fromLocal.status, 0);
  EXPECT_EQ(fromLocal.out, run.out);
}

TEST(ProgramConventions, FlashLoaderHelpIsItsOwnUsageText) {
  const ProgramRun run = RunProgram(BuiltProgram("FlashLoader"), {"--help"});
  EXPECT_EQ(run.out.rfind("PUpdate UART Flash Loader command line v1.0 \n\n Usage : \n\n", 0), 0u)
      << run.out;
  EXPECT_EQ(RunProgram(BuiltProgram("FlashLoader"), {"-?"}).out, run.out);
  // Anything else stays the interpreter's: it is not an option of the loader.
  const ProgramRun unknown = RunProgram(BuiltProgram("FlashLoader"), {"--frobnicate", "-c"});
  EXPECT_NE(unknown.out.find("bad parameter [--frobnicate]"), std::string::npos) << unknown.out;
}

TEST(ProgramConventions, AJobNameTakesItsArgumentsUnread) {
  TempDir dir;
  // --help reaches the job as its file; the unknown mode ends it as before.
  const ProgramRun run = RunProgram(JobLink(dir, "PUpdate-APB-XYZ-COM1"), {"--help"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(WithoutLogLine(run.out), "Unknown mode.\r\nError\n");
}

TEST(ProgramConventions, ExplicitJobBehavesAsTheRenamedProgram) {
  TempDir dir;
  WriteFile(dir / "image.bin", "fpga");
  const std::map<std::string, std::optional<std::string>> env = {
      {"PUPDATE_PORT_MAP", "COM1=" + (dir / "no-such-port")}};
  const ProgramRun renamed = RunProgram(JobLink(dir, "PUpdate-APB-FPGA-COM1"),
                                        {dir / "image.bin", "local"}, env, "", dir.path());
  const ProgramRun explicitJob = RunProgram(
      BuiltProgram("PelluxUpdateV3"),
      {"--job", "PUpdate-APB-FPGA-COM1", dir / "image.bin", "local"}, env, "", dir.path());
  EXPECT_NE(renamed.out.find("[ FPGA Update mode ] - PUPDATE-APB-FPGA-COM1"), std::string::npos)
      << renamed.out;
  EXPECT_EQ(WithoutLogLine(explicitJob.out), WithoutLogLine(renamed.out));
  EXPECT_EQ(explicitJob.status, renamed.status);
  EXPECT_EQ(explicitJob.status, 1);

  const ProgramRun unknownMode =
      RunProgram(BuiltProgram("PelluxUpdateV3"), {"--job", "PUpdate-APB-XYZ-COM1.exe"});
  EXPECT_EQ(WithoutLogLine(unknownMode.out), "Unknown mode.\r\nError\n");
  EXPECT_EQ(unknownMode.status, 1);
}

TEST(ProgramConventions, ExplicitJobRefusesWhatIsNoJob) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--job"},
        {"--job", "PelluxUpdateV3"},
        {"--job", "PUpdate-APB-FPGA-COM1", "a", "local", "extra"}}) {
    const ProgramRun run = RunProgram(BuiltProgram("PelluxUpdateV3"), args, kNoDisplay);
    EXPECT_EQ(run.status, 2) << args.size();
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Usage: PelluxUpdateV3"), std::string::npos) << run.err;
  }
}

TEST(ProgramConventions, DialogWithoutDisplayEndsWithOneLine) {
#ifdef PUPDATE_WITH_UI
  const std::string line = "no display: set DISPLAY, or run a job by name; see --help\n";
#else
  const std::string line =
      "This build has no dialog: start the program under a job name such as "
      "PUpdate-NR2-Firmware-COM3.\n";
#endif
  TempDir dir;
  // No display at all; a display number no server listens on; xcb asked for
  // by name with nothing to reach.
  std::vector<std::map<std::string, std::optional<std::string>>> cases = {kNoDisplay};
  auto deadServer = kNoDisplay;
  deadServer["DISPLAY"] = ":" + std::to_string(7000 + ::getpid() % 1000);
  cases.push_back(deadServer);
  auto unixPath = kNoDisplay;
  unixPath["DISPLAY"] = (dir / "no-socket") + ":0";
  cases.push_back(unixPath);
  auto xcb = kNoDisplay;
  xcb["QT_QPA_PLATFORM"] = "xcb";
  cases.push_back(xcb);
  for (const auto& env : cases) {
    const ProgramRun run = RunProgram(BuiltProgram("PelluxUpdateV3"), {}, env);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.err, line);
    EXPECT_EQ(run.out, "");
  }
#ifdef PUPDATE_WITH_UI
  // Qt's -platform wins over the environment, in both spellings.
  auto offscreen = kNoDisplay;
  offscreen["QT_QPA_PLATFORM"] = "offscreen";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-platform", "xcb"}, {"--platform=xcb"}}) {
    const ProgramRun run = RunProgram(BuiltProgram("PelluxUpdateV3"), args, offscreen);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.err, line);
  }
#endif
}
