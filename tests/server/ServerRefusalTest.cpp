#include <gtest/gtest.h>

#include <signal.h>

#include <regex>
#include <string>

#include "ChildProcess.h"
#include "TestFiles.h"

using namespace pellux;

// pupdate-server and pupdate-sim refuse what they cannot serve, instead of
// starting silently beside another server or over nothing.
namespace {
std::string Match(const std::string& text, const std::string& pattern) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(pattern))) return "";
  return match[1];
}
}  // namespace

TEST(ServerRefusal, APortInUseIsRefusedByBothPrograms) {
  TempDir root;
  WriteFile(root / "machlist.txt", "New R2 Bender,NR2\n");
  ChildProcess first(BuiltProgram("pupdate-server"), {"--port", "0", "--root", root / ""});
  ASSERT_TRUE(first.WaitForOutput("/\n")) << first.Output();
  const std::string port = Match(first.Output(), "http://127\\.0\\.0\\.1:([0-9]+)/");
  ASSERT_FALSE(port.empty()) << first.Output();

  ChildProcess second(BuiltProgram("pupdate-server"), {"--port", port, "--root", root / ""});
  EXPECT_EQ(second.Wait(), 1) << second.Output();
  EXPECT_NE(second.Output().find("pupdate-server: cannot listen on 127.0.0.1:" + port +
                                 ": address already in use"),
            std::string::npos)
      << second.Output();

  ChildProcess sim(BuiltProgram("pupdate-sim"), {"--server", "--server-port", port});
  EXPECT_EQ(sim.Wait(), 1) << sim.Output();
  EXPECT_NE(sim.Output().find("pupdate-sim: cannot listen on 127.0.0.1:" + port +
                              ": address already in use"),
            std::string::npos)
      << sim.Output();

  first.Signal(SIGTERM);
  EXPECT_EQ(first.Wait(), 0);
}

TEST(ServerRefusal, ARootThatIsNoFolderIsRefused) {
  TempDir dir;
  WriteFile(dir / "file.txt", "not a folder");
  for (const std::string root : {dir / "missing", dir / "file.txt"}) {
    ChildProcess server(BuiltProgram("pupdate-server"), {"--port", "0", "--root", root});
    EXPECT_EQ(server.Wait(), 1) << server.Output();
    EXPECT_NE(server.Output().find("pupdate-server: the root " + root + " is not a folder"),
              std::string::npos)
        << server.Output();
  }
}
