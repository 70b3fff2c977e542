#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "ChildProcess.h"
#include "TestFiles.h"
#include "TestUpdateServer.h"

using namespace pellux;

namespace fs = std::filesystem;

namespace {
class UpdateServerReplies : public ::testing::Test {
 protected:
  UpdateServerReplies() : client("127.0.0.1", server.Port()) {
    client.set_url_encode(false);  // the targets below go out byte for byte
    server.AddFile("NR2", "FIRMWARE", "first.hex", "1");
    server.AddFile("NR2", "FIRMWARE", "second.hex", "22");
    server.AddFile("NR2", "FIRMWARE", ".secret", "s");
    server.AddFile(".", "ETC", "tool.exe", "t");
    server.AddRootFile("machlist.txt", "NR2,New R2 Bender\n");
    WriteFile((server.Root() / ".." / "outside.txt").string(), "o");
  }
  ~UpdateServerReplies() override { fs::remove(server.Root() / ".." / "outside.txt"); }

  // Status and body of a GET.
  std::pair<int, std::string> Get(const std::string& target) {
    auto result = client.Get(target);
    if (!result) return {-1, ""};
    return {result->status, result->body};
  }

  TestUpdateServer server;
  httplib::Client client;
};
}  // namespace

TEST_F(UpdateServerReplies, ListsNewestFirstWithALineFeedAfterEveryLine) {
  EXPECT_EQ(Get("/filelist.php?MachineName=NR2/FIRMWARE"),
            std::make_pair(200, std::string("FileList\nsecond.hex\nfirst.hex\n")));
  EXPECT_EQ(Get("/filelistx.php?MachineName=NR2/FIRMWARE"),
            std::make_pair(200, std::string("FileList\nsecond.hex\nfirst.hex\n")));
  EXPECT_EQ(Get("/filelist.php?MachineName=./ETC"),
            std::make_pair(200, std::string("FileList\ntool.exe\n")));
}

TEST_F(UpdateServerReplies, OrderFilesFixTheListsAndHideDotNames) {
  server.SetList("NR2", "FIRMWARE", {"first.hex", ".secret", "second.hex", "absent.hex"});
  WriteFile((server.Root() / "NR2/FIRMWARE/.filelistx").string(), "second.hex\r\n\r\n");
  EXPECT_EQ(Get("/filelist.php?MachineName=NR2/FIRMWARE").second,
            "FileList\nfirst.hex\nsecond.hex\nabsent.hex\n");
  EXPECT_EQ(Get("/filelistx.php?MachineName=NR2/FIRMWARE").second, "FileList\nsecond.hex\n");
}

TEST_F(UpdateServerReplies, ServesFilesWithOrWithoutTheDoubleSlash) {
  EXPECT_EQ(Get("//NR2/FIRMWARE/second.hex"), std::make_pair(200, std::string("22")));
  EXPECT_EQ(Get("/NR2/FIRMWARE/second.hex"), std::make_pair(200, std::string("22")));
  EXPECT_EQ(Get("/ETC/tool.exe"), std::make_pair(200, std::string("t")));
  EXPECT_EQ(Get("/machlist.txt"), std::make_pair(200, std::string("NR2,New R2 Bender\n")));
}

TEST_F(UpdateServerReplies, Md5IsExactlyThirtyTwoLowerCaseDigits) {
  // RFC 1321 test suite: MD5("1") and MD5 of two characters computed by md5sum.
  EXPECT_EQ(Get("/filemd5.php?FilePath=NR2/FIRMWARE/first.hex"),
            std::make_pair(200, std::string("c4ca4238a0b923820dcc509a6f75849b")));
  const auto [status, body] = Get("/filemd5.php?FilePath=NR2/FIRMWARE/second.hex");
  EXPECT_EQ(status, 200);
  EXPECT_TRUE(std::regex_match(body, std::regex("[0-9a-f]{32}"))) << body;
}

TEST_F(UpdateServerReplies, MissingHiddenOrOutsideIsNotFound) {
  for (const std::string target :
       {"/NR2/FIRMWARE/none.hex", "/NR2/FIRMWARE/.secret", "/NR2/FIRMWARE/.filelist",
        "/NR2/FIRMWARE", "/filelist.php?MachineName=NR2/NONE", "/filelist.php",
        "/filemd5.php?FilePath=NR2/FIRMWARE/.secret", "/filemd5.php?FilePath=NR2/FIRMWARE",
        "/../outside.txt", "/NR2/%2e%2e/../outside.txt", "/filemd5.php?FilePath=../outside.txt",
        "/filemd5.php?FilePath=NR2/..%2F..%2Foutside.txt", "/filelist.php?MachineName=..",
        "/filelist.php?MachineName=/", "/filelist.php?MachineName=", "/NR2\\FIRMWARE\\first.hex",
        "/filemd5.php?FilePath=/etc/passwd"}) {
    EXPECT_EQ(Get(target).first, 404) << target;
  }
  // A link inside the tree that leads out of it is not followed.
  fs::create_symlink(server.Root() / ".." / "outside.txt", server.Root() / "link.txt");
  EXPECT_EQ(Get("/link.txt").first, 404);
}

TEST_F(UpdateServerReplies, AKeptDigestIsNotGivenForALinkThatNowLeadsOutside) {
  const fs::path link = server.Root() / "NR2/FIRMWARE/latest.hex";
  fs::create_symlink("first.hex", link);
  // The server keeps a digest once the file has not changed for 2 s.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  EXPECT_EQ(Get("/filemd5.php?FilePath=NR2/FIRMWARE/latest.hex"),
            std::make_pair(200, std::string("c4ca4238a0b923820dcc509a6f75849b")));
  EXPECT_EQ(Get("/filemd5.php?FilePath=NR2/FIRMWARE/latest.hex").first, 200);
  EXPECT_EQ(Get("/NR2/FIRMWARE/latest.hex"), std::make_pair(200, std::string("1")));
  fs::remove(link);
  fs::create_symlink(server.Root() / ".." / "outside.txt", link);
  EXPECT_EQ(Get("/filemd5.php?FilePath=NR2/FIRMWARE/latest.hex").first, 404);
  EXPECT_EQ(Get("/NR2/FIRMWARE/latest.hex").first, 404);
  fs::remove(link);
  fs::create_symlink("second.hex", link);
  EXPECT_EQ(Get("/filemd5.php?FilePath=NR2/FIRMWARE/latest.hex").second,
            Get("/filemd5.php?FilePath=NR2/FIRMWARE/second.hex").second);
}

TEST_F(UpdateServerReplies, AListedFolderLinkThatNowLeadsOutsideIsNotListed) {
  const fs::path outside = server.Root() / ".." / "outside-folder";
  fs::create_directories(outside);
  WriteFile((outside / "secret.hex").string(), "s");
  const fs::path link = server.Root() / "NR2/LATEST";
  fs::create_symlink("FIRMWARE", link);
  EXPECT_EQ(Get("/filelist.php?MachineName=NR2/LATEST").first, 200);
  EXPECT_EQ(Get("/filelist.php?MachineName=NR2/LATEST").first, 200);
  fs::remove(link);
  fs::create_symlink(outside, link);
  EXPECT_EQ(Get("/filelist.php?MachineName=NR2/LATEST").first, 404);
  EXPECT_EQ(Get("/NR2/LATEST/secret.hex").first, 404);
  fs::remove_all(outside);
}

TEST_F(UpdateServerReplies, LogsOneLinePerRequest) {
  server.ClearRequests();
  Get("/machlist.txt");
  Get("/none");
  EXPECT_EQ(server.Requests(),
            (std::vector<std::string>{"127.0.0.1 \"GET /machlist.txt HTTP/1.1\" 200 18",
                                      "127.0.0.1 \"GET /none HTTP/1.1\" 404 10"}));
}

TEST_F(UpdateServerReplies, AnswersOneRequestPerConnectionWholeAndThenCloses) {
  // A client that would keep the connection: the reply arrives whole, says
  // the connection ends, and the server then closes it.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  timeval timeout{30, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(server.Port()));
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::string request =
      "GET /filemd5.php?FilePath=NR2/FIRMWARE/first.hex HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
      "GET /machlist.txt HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(request.size()));
  std::string reply;
  char buffer[4096];
  ssize_t got;
  while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
    reply.append(buffer, static_cast<size_t>(got));
  const ssize_t endReason = got;
  ::close(fd);
  EXPECT_EQ(endReason, 0) << "the server ends the connection";
  EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
  EXPECT_NE(reply.find("\r\nConnection: close\r\n"), std::string::npos) << reply;
  EXPECT_TRUE(reply.ends_with("\r\n\r\nc4ca4238a0b923820dcc509a6f75849b")) << reply;
}

TEST(UpdateServerProgram, ServesLogsAndStopsOnSigterm) {
  TempDir tree;
  fs::create_directories(tree.path() / "APB" / "FPGA");
  WriteFile(tree / "APB/FPGA/image.bin", "image");
  ChildProcess server(BuiltProgram("pupdate-server"),
                      {"--host", "127.0.0.1", "--port", "0", "--root", tree.path().string()});
  ASSERT_TRUE(server.WaitForOutput("/\n")) << server.Output();
  std::smatch match;
  const std::string banner = server.Output();
  ASSERT_TRUE(std::regex_search(banner, match, std::regex("http://127\\.0\\.0\\.1:([0-9]+)/")));
  httplib::Client client("127.0.0.1", std::stoi(match[1]));
  auto reply = client.Get("/filelist.php?MachineName=APB/FPGA");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->body, "FileList\nimage.bin\n");
  EXPECT_TRUE(server.WaitForOutput("\"GET /filelist.php?MachineName=APB/FPGA HTTP/1.1\" 200 19\n"));
  server.Signal(SIGTERM);
  EXPECT_EQ(server.Wait(), 0);
  EXPECT_NE(server.Output().find("Stopped."), std::string::npos);
}

TEST(UpdateServerProgram, RefusesABadCommandLine) {
  ChildProcess server(BuiltProgram("pupdate-server"), {"--port", "many"});
  EXPECT_EQ(server.Wait(), 2);
  EXPECT_NE(server.Output().find("Usage: pupdate-server"), std::string::npos);
}
