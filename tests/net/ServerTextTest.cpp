#include <gtest/gtest.h>

#include <cstdio>

#include "CapturingConsole.h"
#include "RawHttpResponder.h"
#include "TestFiles.h"
#include "net/ServerFiles.h"

using namespace pellux;

namespace {
class ServerTextTest : public ::testing::Test {
 protected:
  TempDir dir;
  CapturingConsole console;
  ScopedActiveConsole active{console};
};

std::string Reply(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
}

// MD5 test suite values of RFC 1321.
constexpr const char* kMd5OfNothing = "d41d8cd98f00b204e9800998ecf8427e";
constexpr const char* kMd5OfAbc = "900150983cd24fb0d6963f7d28e17f72";
}  // namespace

TEST_F(ServerTextTest, FetchTextSendsItsAgentAndCutsEachChunkAtItsFirstZero) {
  std::string body = std::string("abc") + '\0' + std::string(1020, 'x') + std::string(476, 'y');
  RawHttpResponder responder({Reply(body), body, 100});
  EXPECT_EQ(FetchText(responder.BaseUrl() + "filemd5.php?FilePath=A/B/c"),
            "abc" + std::string(476, 'y'));
  const std::string request = responder.LastRequest();
  EXPECT_EQ(request.rfind("GET /filemd5.php?FilePath=A/B/c HTTP/1.1\r\n", 0), 0u) << request;
  EXPECT_NE(request.find("\r\nUser-Agent: FirmwareUpdate\r\n"), std::string::npos);
  EXPECT_EQ(console.Output(), "");
}

TEST_F(ServerTextTest, FetchTextFromNowhereSaysSo) {
  EXPECT_EQ(FetchText("http://127.0.0.1:1/machlist.txt"), "");
  const std::string out = console.Output();
  EXPECT_EQ(out.rfind("Fail access to server. ", 0), 0u) << out;
  EXPECT_TRUE(out.ends_with(
      " (http://127.0.0.1:1/machlist.txt). Check the server address and that the update server is "
      "running and reachable.\r\n"))
      << out;
  EXPECT_EQ(out.find('\n'), out.size() - 1);
}

TEST_F(ServerTextTest, FetchTextNeverPassesAnErrorPageOff) {
  const std::string page = "<html>Not Found</html>";
  RawHttpResponder responder(
      {"HTTP/1.1 404 Not Found\r\nContent-Length: " + std::to_string(page.size()) + "\r\n\r\n",
       page, 100});
  EXPECT_EQ(FetchText(responder.BaseUrl() + "machlist.txt"), "");
  EXPECT_EQ(console.Output(), "Fail access to server. It answered HTTP status 404 (" +
                                  responder.BaseUrl() +
                                  "machlist.txt). Check that the update server holds it.\r\n");
}

TEST_F(ServerTextTest, Md5OfFileFollowsTheRfcAndNeedsAReadableFile) {
  WriteFile(dir / "empty", "");
  WriteFile(dir / "abc", "abc");
  EXPECT_EQ(Md5OfFile(dir / "empty"), kMd5OfNothing);
  EXPECT_EQ(Md5OfFile(dir / "abc"), kMd5OfAbc);
  EXPECT_EQ(Md5OfFile(dir / "missing"), "");
  // Larger than one read buffer, checked against coreutils.
  std::string big;
  for (int i = 0; i < 200'000; ++i) big += static_cast<char>(i * 7919 % 251);
  WriteFile(dir / "big", big);
  std::string expected(32, '\0');
  FILE* tool = ::popen(("md5sum " + (dir / "big")).c_str(), "r");
  ASSERT_NE(tool, nullptr);
  ASSERT_EQ(std::fread(expected.data(), 1, 32, tool), 32u);
  ::pclose(tool);
  EXPECT_EQ(Md5OfFile(dir / "big"), expected);
}

TEST_F(ServerTextTest, CheckMd5AcceptsOnlyTheExactDigest) {
  WriteFile(dir / "abc", "abc");
  {
    RawHttpResponder responder({Reply(kMd5OfAbc), kMd5OfAbc});
    EXPECT_TRUE(CheckMd5(dir / "abc", responder.BaseUrl() + "md5"));
    EXPECT_EQ(console.Output(), std::string("MD5 Server file   = ") + kMd5OfAbc +
                                    "\r\nMD5 Download file = " + kMd5OfAbc +
                                    "\r\nMD5 Check success.\r\n");
  }
  const std::string upper = "900150983CD24FB0D6963F7D28E17F72";
  const std::string trailing = std::string(kMd5OfAbc) + "\n";
  // A reply is shown escaped: it may hold anything, terminal controls too.
  const std::string controls = "\x1b]0;owned\x07\x1b[2J";
  const std::string page = "<html>" + std::string(100'000, 'x') + "</html>";
  const std::pair<std::string, std::string> replies[] = {
      {upper, upper},
      {trailing, std::string(kMd5OfAbc) + "\\x0A"},
      {controls, "\\x1B]0;owned\\x07\\x1B[2J"},
      {page, "<html>" + std::string(58, 'x') + "... (100013 bytes)"},
  };
  for (const auto& [wrong, shown] : replies) {
    console.ClearOutput();
    RawHttpResponder responder({Reply(wrong), wrong});
    EXPECT_FALSE(CheckMd5(dir / "abc", responder.BaseUrl() + "md5"));
    EXPECT_EQ(console.Output(), "MD5 Server file   = " + shown + "\r\nMD5 Download file = " +
                                    kMd5OfAbc + "\r\nMD5 Check failed.\r\n");
  }
}

TEST_F(ServerTextTest, CheckMd5WithoutALocalFileOrAReplyFailsQuietly) {
  RawHttpResponder responder({Reply(kMd5OfAbc), kMd5OfAbc});
  EXPECT_FALSE(CheckMd5(dir / "missing", responder.BaseUrl() + "md5"));
  EXPECT_EQ(responder.Connections(), 0);
  WriteFile(dir / "empty", "");
  RawHttpResponder silent({Reply(""), ""});
  EXPECT_FALSE(CheckMd5(dir / "empty", silent.BaseUrl() + "md5"));
  EXPECT_EQ(console.Output(), "");
}

TEST_F(ServerTextTest, ReadLinesDropsCarriageReturnsAndAnUnfinishedLastLine) {
  WriteFile(dir / "lf", "FileList\na.hex\n");
  WriteFile(dir / "crlf", "FileList\r\na.hex\r\n");
  WriteFile(dir / "open", "FileList\na.hex");
  WriteFile(dir / "blank", "FileList\n\nb\n");
  const std::vector<std::string> two = {"FileList", "a.hex"};
  EXPECT_EQ(ReadLines(dir / "lf"), two);
  EXPECT_EQ(ReadLines(dir / "crlf"), two);
  EXPECT_EQ(ReadLines(dir / "open"), std::vector<std::string>{"FileList"});
  EXPECT_EQ(ReadLines(dir / "blank"), (std::vector<std::string>{"FileList", "", "b"}));
  EXPECT_TRUE(ReadLines(dir / "missing").empty());
}

TEST_F(ServerTextTest, ReadLinesLeavesOutAnOverlongLineAndReadsOn) {
  const std::string longest(1022, 'k');  // with its line feed: 1023 bytes
  WriteFile(dir / "long", "FileList\n" + std::string(5000, 'x') + "\n" + longest + "\n" +
                              std::string(1023, 'q') + "\nlast.hex\n");
  EXPECT_EQ(ReadLines(dir / "long"), (std::vector<std::string>{"FileList", longest, "last.hex"}));
}

TEST(ServerFileNames, DotsAreRefusedOnlyAsAWholeName) {
  EXPECT_FALSE(IsSafeServerFileName(".."));
  EXPECT_FALSE(IsSafeServerFileName("."));
  EXPECT_FALSE(IsSafeServerFileName("../a.hex"));
  EXPECT_FALSE(IsSafeServerFileName("C:a.hex"));
  EXPECT_TRUE(IsSafeServerFileName("NR2_FW_V2..1.hex"));
  EXPECT_TRUE(IsSafeServerFileName("..hex"));
  EXPECT_TRUE(IsSafeServerFileName("fw#2 v3%.hex"));
}
