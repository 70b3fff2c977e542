#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "base/SplitText.h"
#include "net/ServerBaseUrl.h"

using namespace pellux;

using Pieces = std::vector<std::string>;

TEST(SplitText, CutsLikeSuccessiveLineReads) {
  EXPECT_EQ(SplitText("", ','), Pieces{});
  EXPECT_EQ(SplitText("a,b", ','), (Pieces{"a", "b"}));
  EXPECT_EQ(SplitText("a,,b", ','), (Pieces{"a", "", "b"}));
  EXPECT_EQ(SplitText("a,", ','), (Pieces{"a"}));
  EXPECT_EQ(SplitText("a,,", ','), (Pieces{"a", ""}));
  EXPECT_EQ(SplitText(",x", ','), (Pieces{"", "x"}));
  EXPECT_EQ(SplitText(",", ','), (Pieces{""}));
  EXPECT_EQ(SplitText(" a , b ", ','), (Pieces{" a ", " b "}));
}

TEST(CommandLineTokens, QuotedPathsKeepTheirSpaces) {
  EXPECT_EQ(CommandLineTokens(
                R"("C:\Program Files\x\PUpdate-APB-FPGA-COM2.exe" "C:\My Files\fw.bin" local)"),
            (Pieces{R"(C:\Program Files\x\PUpdate-APB-FPGA-COM2.exe)", R"(C:\My Files\fw.bin)",
                    "local"}));
}

TEST(CommandLineTokens, QuoteInsideAWordStartsQuotingWithoutEndingIt) {
  EXPECT_EQ(CommandLineTokens("ab\"cd ef\"gh"), (Pieces{"abcd ef", "gh"}));
}

TEST(CommandLineTokens, UnterminatedQuotesAndEmptyPairs) {
  EXPECT_EQ(CommandLineTokens("one \"two"), (Pieces{"one"}));
  EXPECT_EQ(CommandLineTokens("\"\""), Pieces{});
  // An empty pair leaves quoting on, so the following space is kept.
  EXPECT_EQ(CommandLineTokens("\"\" a\"b"), (Pieces{" a", "b"}));
  EXPECT_EQ(CommandLineTokens("a\tb  c"), (Pieces{"a\tb", "c"}));
}

TEST(ProgramName, ConsoleJobModeByLeadingName) {
  EXPECT_TRUE(AnalyseProgramName("pupdate.exe").consoleJob);
  EXPECT_TRUE(AnalyseProgramName("PUpdate.exe").consoleJob);
  EXPECT_TRUE(AnalyseProgramName("pupdate-apb-fpga-com1.exe").consoleJob);
  EXPECT_TRUE(AnalyseProgramName("PUpdate-NR2-Firmware-COM3").consoleJob);
  EXPECT_TRUE(AnalyseProgramName(R"(C:\tools\PUpdate-APB-Firmware-COM3.exe)").consoleJob);
  EXPECT_FALSE(AnalyseProgramName("PUpdateX.exe").consoleJob);
  EXPECT_FALSE(AnalyseProgramName("PelluxUpdateV3").consoleJob);
  // The hyphen in the directory cuts the name short.
  EXPECT_FALSE(AnalyseProgramName(R"(C:\my-tools\PUpdate-APB-FPGA-COM2.exe)").consoleJob);
  // A leading hyphen leaves the name empty: no rule matches.
  const auto empty = AnalyseProgramName("-PUpdate.exe");
  EXPECT_FALSE(empty.consoleJob);
  EXPECT_FALSE(empty.localMode);
  EXPECT_EQ(empty.leadingName, "");
}

TEST(ProgramName, LocalModeByTrailingL) {
  EXPECT_TRUE(AnalyseProgramName("PelluxUpdateV3L.exe").localMode);
  EXPECT_TRUE(AnalyseProgramName("PelluxUpdateV3L").localMode);
  EXPECT_FALSE(AnalyseProgramName("PelluxV3.L.exe").localMode);
  EXPECT_TRUE(AnalyseProgramName("pelluxupdatev3l").localMode);
  EXPECT_FALSE(AnalyseProgramName("PelluxUpdateV3").localMode);
}

TEST(ProgramName, PipNameSetsTheServerAddress) {
  EXPECT_EQ(AnalyseProgramName("PIP-192.0.2.10.exe").serverUrl, "http://192.0.2.10/");
  EXPECT_EQ(AnalyseProgramName("PIP-192.0.2.10-x.exe").serverUrl, "http://192.0.2.10/");
  EXPECT_FALSE(AnalyseProgramName("PIP-192.0.2.10.exe").consoleJob);
  // Case-sensitive, and never read beyond the pieces that exist.
  EXPECT_FALSE(AnalyseProgramName("pip-192.0.2.10.exe").serverUrl.has_value());
  EXPECT_FALSE(AnalyseProgramName("PIP-10.0.exe").serverUrl.has_value());
  EXPECT_FALSE(AnalyseProgramName("PIP.exe").serverUrl.has_value());
  EXPECT_FALSE(AnalyseProgramName("PIP-").serverUrl.has_value());
}

TEST(ConflictingWindows, TitleRule) {
  EXPECT_TRUE(IsConflictingWindowTitle("FBWin"));
  EXPECT_TRUE(IsConflictingWindowTitle("FBWin Machine 2.1"));
  EXPECT_TRUE(IsConflictingWindowTitle("TWKCAM 7"));
  EXPECT_TRUE(IsConflictingWindowTitle("TWKCA"));
  EXPECT_FALSE(IsConflictingWindowTitle("FBWi"));
  EXPECT_FALSE(IsConflictingWindowTitle("fbwin"));
  EXPECT_FALSE(IsConflictingWindowTitle(""));
}

TEST(ServerBaseUrl, EnvironmentOverrideIsValidated) {
  const std::string before = ServerBaseUrl();
  std::string error;
  ::setenv("PUPDATE_SERVER_URL", "ftp://example/", 1);
  EXPECT_FALSE(ApplyServerUrlFromEnvironment(error));
  EXPECT_NE(error.find("PUPDATE_SERVER_URL"), std::string::npos);
  EXPECT_EQ(ServerBaseUrl(), before);
  ::setenv("PUPDATE_SERVER_URL", "http://127.0.0.1:9/x", 1);
  EXPECT_FALSE(ApplyServerUrlFromEnvironment(error));
  ::setenv("PUPDATE_SERVER_URL", "https://updates.example/base/", 1);
  EXPECT_TRUE(ApplyServerUrlFromEnvironment(error));
  EXPECT_EQ(ServerBaseUrl(), "https://updates.example/base/");
  ::unsetenv("PUPDATE_SERVER_URL");
  SetServerBaseUrl(before);
}
