#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "CapturingConsole.h"
#include "RawHttpResponder.h"
#include "TestFiles.h"
#include "TestUpdateServer.h"
#include "base/Cancellation.h"
#include "jobs/ConsoleRunner.h"
#include "net/HttpDownload.h"
#include "net/ServerFailure.h"
#include "net/ServerFiles.h"

using namespace pellux;

namespace {
const std::string kEmptyBar = "[" + std::string(50, '-') + "]";
const std::string kFullBar = "[" + std::string(50, '#') + "]";
const std::string kPadding(15, ' ');

// A loopback port with nothing listening on it.
int ClosedLoopbackPort() {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(probe);
  return ntohs(address.sin_port);
}

size_t Count(const std::string& text, const std::string& piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
    ++count;
  }
  return count;
}

bool IsOpenInThisProcess(const std::filesystem::path& file) {
  const auto target = std::filesystem::canonical(file);
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    std::error_code ignored;
    if (std::filesystem::read_symlink(entry.path(), ignored) == target) return true;
  }
  return false;
}

class DownloadFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  CapturingConsole console;
  ScopedActiveConsole active{console};
};
}  // namespace

TEST_F(DownloadFileTest, KnownLengthDrawsTheBarAndStoresEveryByte) {
  TestUpdateServer server;
  std::string content;
  for (int i = 0; i < 300'000; ++i) content += static_cast<char>('a' + i % 26);
  server.AddFile("NR2", "FIRMWARE", "big.hex", content);
  const std::string local = dir / "big.hex";

  ASSERT_TRUE(DownloadFile(server.BaseUrl() + "/NR2/FIRMWARE/big.hex", local));
  EXPECT_EQ(ReadFile(local), content);
  const std::string out = console.Output();
  const std::string head = "Downloading file: " + local + " (300000 bytes)\nDownload progress:\n" +
                           kEmptyBar + " (0%) 0.00 MB/s\r";
  EXPECT_EQ(out.substr(0, head.size()), head);
  EXPECT_NE(out.find("\r" + kFullBar + " (100%) "), std::string::npos);
  // One redraw per bar length at most, whatever the number of chunks.
  EXPECT_LE(Count(out, "\r["), 52u);
  const std::string tail = "\nDownload complete: " + local + "\n";
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  EXPECT_NE(out.find(" s) " + kPadding + "\n"), std::string::npos);
}

TEST_F(DownloadFileTest, RequestCarriesAgentAndNoCacheHeadersAndIgnoresProxies) {
  RawHttpResponder responder({"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n", "abc"});
  // A proxy in the environment must not be used.
  const char* previous = std::getenv("http_proxy");
  const std::string saved = previous ? previous : "";
  ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(ClosedLoopbackPort())).c_str(), 1);
  const bool ok = DownloadFile(responder.BaseUrl() + "/NR2/FIRMWARE/a.hex", dir / "a.hex");
  previous ? ::setenv("http_proxy", saved.c_str(), 1) : ::unsetenv("http_proxy");

  ASSERT_TRUE(ok) << console.Output();
  const std::string request = responder.LastRequest();
  EXPECT_EQ(request.rfind("GET //NR2/FIRMWARE/a.hex HTTP/1.1\r\n", 0), 0u) << request;
  EXPECT_NE(request.find("\r\nUser-Agent: Tarnwick_Webget/1.0\r\n"), std::string::npos);
  EXPECT_NE(request.find("\r\nCache-Control: no-cache\r\n"), std::string::npos);
  EXPECT_NE(request.find("\r\nPragma: no-cache\r\n"), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "a.hex"), "abc");
}

TEST_F(DownloadFileTest, ContentLengthZeroIsAnUnknownLength) {
  RawHttpResponder responder({"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", ""});
  const std::string local = dir / "empty.bin";
  ASSERT_TRUE(DownloadFile(responder.BaseUrl() + "empty.bin", local));
  EXPECT_EQ(console.Output(), "Downloading file: " + local +
                                  " (size unknown)\nDownload progress:\n" + kEmptyBar +
                                  " (0%) 0.00 MB/s\r" + "\r" + kFullBar +
                                  " Completed: 0.00 MB, Avg Speed: 0.00 MB/s " + kPadding + "\n" +
                                  "Download complete: " + local + "\n");
  EXPECT_TRUE(std::filesystem::exists(local));
  EXPECT_EQ(std::filesystem::file_size(local), 0u);
}

TEST_F(DownloadFileTest, ChunkedReplyWarnsAndCountsMegabytes) {
  std::string body;
  for (const std::string piece : {"hello ", "chunked ", "world"}) {
    char size[16];
    std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
    body += size + piece + "\r\n";
  }
  body += "0\r\n\r\n";
  RawHttpResponder responder({"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", body, 12,
                              std::chrono::milliseconds(20)});
  const std::string local = dir / "c.bin";
  ASSERT_TRUE(DownloadFile(responder.BaseUrl() + "c.bin", local));
  EXPECT_EQ(ReadFile(local), "hello chunked world");
  const std::string out = console.Output();
  EXPECT_EQ(out.rfind("Warning: Could not get Content-Length. Progress percentage will not be "
                      "available.\nDownloading file: " +
                          local + " (size unknown)\n",
                      0),
            0u)
      << out;
  EXPECT_NE(out.find("\rDownloaded: 0.00 MB ("), std::string::npos);
  EXPECT_NE(out.find("\r" + kFullBar + " Completed: 0.00 MB, Avg Speed: "), std::string::npos);
}

TEST_F(DownloadFileTest, BodyLongerThanAnnouncedKeepsTheAnnouncedBytes) {
  RawHttpResponder responder({"HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n", "abcdEXTRA"});
  const std::string local = dir / "l.bin";
  ASSERT_TRUE(DownloadFile(responder.BaseUrl() + "l.bin", local));
  EXPECT_EQ(ReadFile(local), "abcd");
  EXPECT_NE(console.Output().find("\r" + kFullBar + " (100%) "), std::string::npos);
}

TEST_F(DownloadFileTest, TransferCutShortIsAFailure) {
  RawHttpResponder responder({"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n", "only forty"});
  const std::string local = dir / "cut.bin";
  EXPECT_FALSE(DownloadFile(responder.BaseUrl() + "cut.bin", local));
  EXPECT_EQ(ReadFile(local), "only forty");
  EXPECT_NE(console.Output().find("\nInternetReadFile failed during download. Error: 18 - "),
            std::string::npos)
      << console.Output();
  EXPECT_EQ(console.Output().find("Download complete"), std::string::npos);
}

TEST_F(DownloadFileTest, ErrorStatusIsOneLineAndAFailure) {
  TestUpdateServer server;
  const std::string local = dir / "missing.hex";
  const std::string url = server.BaseUrl() + "/NR2/FIRMWARE/missing.hex";
  EXPECT_FALSE(DownloadFile(url, local));
  EXPECT_EQ(console.Output(), "Download failed: the server answered HTTP status 404 (" + url +
                                  "). Check that the update server holds it.\n");
  EXPECT_EQ(ReadFile(local), "");
}

TEST_F(DownloadFileTest, UnreachableServerFailsAtTheRequest) {
  const std::string url = "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/x";
  EXPECT_FALSE(DownloadFile(url, dir / "x"));
  EXPECT_EQ(console.Output().rfind("HttpSendRequest failed. Error: 7 - ", 0), 0u)
      << console.Output();
  EXPECT_TRUE(console.Output().ends_with(" (" + url +
                                         "). Check the server address and that the update "
                                         "server is running and reachable.\n"))
      << console.Output();
  EXPECT_EQ(Count(console.Output(), "\n"), 1u);
}

TEST_F(DownloadFileTest, MalformedUrlIsRefusedBeforeAnyRequest) {
  EXPECT_FALSE(DownloadFile("http://[not a host/x", dir / "x"));
  EXPECT_EQ(console.Output().rfind("InternetCrackUrlW failed. Error: 3 - ", 0), 0u)
      << console.Output();
}

TEST_F(DownloadFileTest, LocalPathInAMissingFolderMakesNoRequest) {
  RawHttpResponder responder({"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n", "abc"});
  const std::string local = dir / "no/such/folder/a.hex";
  EXPECT_FALSE(DownloadFile(responder.BaseUrl() + "a.hex", local));
  EXPECT_EQ(console.Output(), "Download file open failed for: " + local +
                                  ". Error code: 2 (No such file or directory)\n");
  EXPECT_EQ(responder.Connections(), 0);
}

// A server that takes the connection and never answers, or falls silent in
// the middle of the body: the transfer ends after the stalled-transfer time
// (shortened here) with one line naming the URL, and closes the connection.
class StalledTransfer : public DownloadFileTest {
 protected:
  StalledTransfer() { SetStalledTransferTimeoutForTesting(std::chrono::seconds(1)); }
  ~StalledTransfer() override { SetStalledTransferTimeoutForTesting({}); }
  static std::string Line(const std::string& url) {
    return "The server sent nothing for 1 s (" + url +
           "). Check the server address and that the update server is running and reachable.\n";
  }
};

TEST_F(StalledTransfer, SilentServerEndsTheDownloadAndTheTextFetch) {
  RawHttpResponder silent({.head = "", .body = "", .holdOpen = true});
  const std::string url = silent.BaseUrl() + "filelist.php?MachineName=NR2/FIRMWARE";
  EXPECT_FALSE(DownloadFile(url, dir / "filelist.hex"));
  EXPECT_EQ(console.Output(), Line(url));
  EXPECT_TRUE(silent.WaitForClientClose());

  console.ClearOutput();
  const std::string md5Url = silent.BaseUrl() + "filemd5.php?FilePath=NR2/FIRMWARE/a.hex";
  EXPECT_EQ(FetchText(md5Url), "");
  std::string line = Line(md5Url);
  line.insert(line.size() - 1, "\r");
  EXPECT_EQ(console.Output(), "Fail access to server. " + line);
}

TEST_F(StalledTransfer, ServerFallingSilentMidwayEndsTheDownload) {
  RawHttpResponder stalling({.head = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n",
                             .body = "first bytes",
                             .holdOpen = true});
  const std::string url = stalling.BaseUrl() + "/NR2/FIRMWARE/a.hex";
  EXPECT_FALSE(DownloadFile(url, dir / "a.hex"));
  EXPECT_TRUE(console.Output().ends_with("\n" + Line(url))) << console.Output();
  EXPECT_EQ(console.Output().find("Download complete"), std::string::npos);
  EXPECT_TRUE(stalling.WaitForClientClose());
}

TEST(DownloadFileCancel, SlowTransferEndsClosedAndFailed) {
  CapturingConsoleHost host;
  TempDir dir;
  RawHttpResponder responder({"HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n",
                              std::string(512, 'z'), 0, std::chrono::milliseconds(30), true});
  const std::string local = dir / "slow.bin";
  std::thread canceller([&] {
    EXPECT_TRUE(host.console.WaitForOutput("Downloading file: "));
    JobCancellation().Cancel();
  });
  bool downloaded = true;
  const bool result = RunInConsole([&] {
    downloaded = DownloadFile(responder.BaseUrl() + "slow.bin", local);
    return downloaded;
  });
  canceller.join();
  EXPECT_FALSE(result);
  EXPECT_FALSE(downloaded);
  EXPECT_NE(host.console.Output().find("\nDownload cancelled.\n"), std::string::npos);
  EXPECT_FALSE(IsOpenInThisProcess(local));
  EXPECT_TRUE(responder.WaitForClientClose());
}

// Two downloads side by side, each handed its own token and console (as two
// jobs would be): cancelling one ends it alone, and the process's job token
// plays no part.
TEST(DownloadFileCancel, EachDownloadObservesOnlyTheTokenItWasHanded) {
  TempDir dir;
  RawHttpResponder endless({"HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n",
                            std::string(512, 'z'), 0, std::chrono::milliseconds(30), true});
  const std::string content(2048, 'k');
  RawHttpResponder trickle({"HTTP/1.1 200 OK\r\nContent-Length: 2048\r\n\r\n", content, 256,
                            std::chrono::milliseconds(30)});

  CancelToken stopped, kept;
  CapturingConsole stoppedConsole, keptConsole;
  bool stoppedResult = true, keptResult = false;
  std::thread first([&] {
    stoppedResult =
        DownloadFile(endless.BaseUrl() + "slow.bin", dir / "slow.bin", stopped, stoppedConsole);
  });
  std::thread second([&] {
    keptResult =
        DownloadFile(trickle.BaseUrl() + "image.bin", dir / "image.bin", kept, keptConsole);
  });
  EXPECT_TRUE(stoppedConsole.WaitForOutput("Downloading file: "));
  EXPECT_TRUE(keptConsole.WaitForOutput("Downloading file: "));
  stopped.Cancel();
  first.join();
  second.join();

  EXPECT_FALSE(stoppedResult);
  EXPECT_NE(stoppedConsole.Output().find("\nDownload cancelled.\n"), std::string::npos);
  EXPECT_TRUE(keptResult) << keptConsole.Output();
  EXPECT_EQ(ReadFile(dir / "image.bin"), content);
  EXPECT_EQ(keptConsole.Output().find("Download cancelled."), std::string::npos);
  EXPECT_FALSE(JobCancellation().IsCancelled());
  EXPECT_TRUE(endless.WaitForClientClose());
}

TEST(DownloadFileCancel, TheProcessJobTokenDoesNotEndADownloadHandedItsOwn) {
  TempDir dir;
  TestUpdateServer server;
  server.AddFile("NR2", "FPGA", "image.bin", "fpga image");
  const CancelToken own;
  CapturingConsole console;
  JobCancellation().Cancel();
  const bool ok =
      DownloadFile(server.BaseUrl() + "/NR2/FPGA/image.bin", dir / "image.bin", own, console);
  JobCancellation().Reset();
  EXPECT_TRUE(ok) << console.Output();
  EXPECT_EQ(ReadFile(dir / "image.bin"), "fpga image");
}
