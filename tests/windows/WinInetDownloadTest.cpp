// DownloadFile, FetchText and the MD5 check on WinINet and BCrypt, against
// the reference update server that the test script runs on Linux.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "CapturingConsole.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "base/Cancellation.h"
#include "net/HttpDownload.h"
#include "net/ServerBaseUrl.h"
#include "net/ServerFailure.h"
#include "net/ServerFiles.h"

using namespace pellux;

namespace {
const std::string kFullBar = "[" + std::string(50, '#') + "]";

// A server that sends the headers and the first bytes of a longer body (or,
// silent, nothing at all), then holds the connection open without a word
// until it is stopped.
class StallingServer {
 public:
  explicit StallingServer(bool silent = false) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(listener_, 1);
    thread_ = std::thread([this, silent] {
      client_ = accept(listener_, nullptr, nullptr);
      if (client_ == INVALID_SOCKET) return;
      char request[4096];
      recv(client_, request, sizeof request, 0);
      if (silent) return;
      const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nfirst bytes";
      send(client_, head.data(), static_cast<int>(head.size()), 0);
    });
  }
  ~StallingServer() {
    closesocket(listener_);
    thread_.join();
    if (client_ != INVALID_SOCKET) closesocket(client_);
    WSACleanup();
  }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

 private:
  SOCKET listener_ = INVALID_SOCKET;
  SOCKET client_ = INVALID_SOCKET;
  int port_ = 0;
  std::thread thread_;
};

class WinInetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = TestSetting("PUPDATE_TEST_SERVER_URL");
    tree_ = TestSetting("PUPDATE_TEST_SERVER_TREE");
    if (server_.empty() || tree_.empty()) {
      GTEST_FAIL() << "PUPDATE_TEST_SERVER_URL and PUPDATE_TEST_SERVER_TREE are not set: run "
                      "scripts/test-windows.sh";
    }
  }
  std::string TreeFile(const std::string& path) const { return ReadFile(tree_ + "\\" + path); }

  std::string server_;
  std::string tree_;
  TempDir dir;
  CapturingConsole console;
  ScopedActiveConsole active{console};
};
}  // namespace

TEST_F(WinInetTest, DownloadStoresTheBodyAndDrawsTheBar) {
  const std::string local = dir / "NR2_FW.hex";
  ASSERT_TRUE(DownloadFile(server_ + "/NR2/FIRMWARE/NR2_FW.hex", local)) << console.Output();
  const std::string expected = TreeFile("NR2\\FIRMWARE\\NR2_FW.hex");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(ReadFile(local), expected);
  const std::string out = console.Output();
  EXPECT_EQ(out.rfind("Downloading file: " + local + " (" + std::to_string(expected.size()) +
                          " bytes)\nDownload progress:\n",
                      0),
            0u)
      << out;
  EXPECT_NE(out.find("\r" + kFullBar + " (100%) "), std::string::npos);
  EXPECT_TRUE(out.ends_with("\nDownload complete: " + local + "\n")) << out;
}

TEST_F(WinInetTest, ErrorStatusAndUnwritablePathFail) {
  const std::string missing = server_ + "/NR2/FIRMWARE/missing.hex";
  EXPECT_FALSE(DownloadFile(missing, dir / "missing.hex"));
  EXPECT_EQ(console.Output(), "Download failed: the server answered HTTP status 404 (" + missing +
                                  "). Check that the update server holds it.\n");

  console.ClearOutput();
  const std::string nowhere = dir / "no-such-folder\\x.hex";
  EXPECT_FALSE(DownloadFile(server_ + "/NR2/FIRMWARE/NR2_FW.hex", nowhere));
  EXPECT_EQ(
      console.Output().rfind("Download file open failed for: " + nowhere + ". Error code: ", 0), 0u)
      << console.Output();

  console.ClearOutput();
  EXPECT_FALSE(DownloadFile("ftp://127.0.0.1/x", dir / "x"));
  EXPECT_EQ(console.Output().rfind("InternetCrackUrlW failed.", 0), 0u) << console.Output();
}

TEST_F(WinInetTest, FetchTextAndMd5AgreeWithTheServer) {
  const std::string local = dir / "NR2_FW.hex";
  WriteFile(local, TreeFile("NR2\\FIRMWARE\\NR2_FW.hex"));
  const std::string md5Url = server_ + "filemd5.php?FilePath=NR2/FIRMWARE/NR2_FW.hex";
  const std::string digest = Md5OfFile(local);
  EXPECT_EQ(FetchText(md5Url), digest);
  EXPECT_TRUE(CheckMd5(local, md5Url));
  EXPECT_EQ(console.Output(), "MD5 Server file   = " + digest + "\r\nMD5 Download file = " +
                                  digest + "\r\nMD5 Check success.\r\n");

  EXPECT_EQ(FetchText(server_ + "filelist.php?MachineName=NR2/FIRMWARE"), "FileList\nNR2_FW.hex\n");

  console.ClearOutput();
  EXPECT_EQ(FetchText(server_ + "no-such-resource"), "");
  EXPECT_EQ(console.Output(), "Fail access to server. It answered HTTP status 404 (" + server_ +
                                  "no-such-resource). Check that the update server holds it.\r\n");
}

TEST_F(WinInetTest, Md5OfKnownTexts) {
  WriteFile(dir / "empty", "");
  WriteFile(dir / "abc", "abc");
  EXPECT_EQ(Md5OfFile(dir / "empty"), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5OfFile(dir / "abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5OfFile(dir / "none"), "");
}

TEST_F(WinInetTest, CancellationEndsABlockedTransfer) {
  StallingServer stalling;
  const std::string local = dir / "stalled.bin";
  auto download =
      std::async(std::launch::async, [&] { return DownloadFile(stalling.BaseUrl() + "x", local); });
  ASSERT_TRUE(console.WaitForOutput("Downloading file: ")) << console.Output();
  JobCancellation().Cancel();
  const bool ended = download.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  JobCancellation().Reset();
  ASSERT_TRUE(ended) << "the download did not end after the cancellation";
  EXPECT_FALSE(download.get());
  EXPECT_TRUE(console.Output().ends_with("\nDownload cancelled.\n")) << console.Output();
}

// Each exchange has a session of its own, and WinINet's threads call back
// into sessions that are ending while others begin, here from two jobs' worth
// of threads at once.
TEST_F(WinInetTest, SessionsOneAfterAnotherAndSideBySide) {
  const std::string expected = TreeFile("NR2\\FIRMWARE\\NR2_FW.hex");
  std::atomic<int> wrong{0};
  auto exchanges = [&](int worker) {
    for (int i = 0; i < 25; ++i) {
      if (FetchText(server_ + "filelist.php?MachineName=NR2/FIRMWARE") !=
          "FileList\nNR2_FW.hex\n") {
        ++wrong;
      }
      if (i % 5 != 0) continue;
      const std::string local = dir / ("copy" + std::to_string(worker) + ".hex");
      if (!DownloadFile(server_ + "/NR2/FIRMWARE/NR2_FW.hex", local) ||
          ReadFile(local) != expected) {
        ++wrong;
      }
    }
  };
  std::thread other(exchanges, 1);
  exchanges(0);
  other.join();
  EXPECT_EQ(wrong, 0) << console.Output();
}

// With the stalled-transfer time shortened, a server that never answers, or
// falls silent midway, ends the transfer with one line naming the URL.
TEST_F(WinInetTest, SilentServerEndsTheTransferWithOneLine) {
  SetStalledTransferTimeoutForTesting(std::chrono::seconds(1));
  const std::string advice =
      "). Check the server address and that the update server is running and reachable.";
  std::string outputs;
  {
    StallingServer silent(true);
    const std::string url = silent.BaseUrl() + "filelist.php?MachineName=NR2/FIRMWARE";
    EXPECT_FALSE(DownloadFile(url, dir / "filelist.hex"));
    EXPECT_EQ(console.Output(), "The server sent nothing for 1 s (" + url + advice + "\n");
  }
  {
    console.ClearOutput();
    StallingServer silent(true);
    const std::string url = silent.BaseUrl() + "machlist.txt";
    EXPECT_EQ(FetchText(url), "");
    EXPECT_EQ(console.Output(),
              "Fail access to server. The server sent nothing for 1 s (" + url + advice + "\r\n");
  }
  {
    console.ClearOutput();
    StallingServer stalling;
    const std::string url = stalling.BaseUrl() + "x";
    EXPECT_FALSE(DownloadFile(url, dir / "x"));
    EXPECT_TRUE(
        console.Output().ends_with("\nThe server sent nothing for 1 s (" + url + advice + "\n"))
        << console.Output();
  }
  SetStalledTransferTimeoutForTesting({});
}

// Names with a space or a '#' go out escaped and the server finds them.
TEST_F(WinInetTest, NamesWithSpacesAndHashesAreFetchedEscaped) {
  const std::string previous = ServerBaseUrl();
  SetServerBaseUrl(server_);
  std::string results;
  for (const char* name : {"NR2 FW v2.hex", "fw#2.hex"}) {
    const std::string local = dir / "local.hex";
    const bool downloaded = DownloadFile(DataUrl("NR2", "FIRMWARE", name), local);
    const bool checked = CheckMd5(local, Md5Url("NR2", "FIRMWARE", name));
    results +=
        std::string(name) + (downloaded && checked ? " ok:" : " failed:") + ReadFile(local) + "\n";
  }
  SetServerBaseUrl(previous);
  EXPECT_EQ(results, "NR2 FW v2.hex ok:spaced\nfw#2.hex ok:hashed\n") << console.Output();
}
