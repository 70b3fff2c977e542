#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <thread>

#include "CapturingConsole.h"
#include "ChildProcess.h"
#include "OpenSslPeer.h"
#include "TestFiles.h"
#include "jobs/ConsoleRunner.h"
#include "jobs/JobDriver.h"
#include "jobs/UpdateStep.h"
#include "net/ServerBaseUrl.h"

using namespace pellux;

namespace fs = std::filesystem;

namespace {
constexpr const char* kNginx = "/usr/sbin/nginx";

int FreeLoopbackPort() {
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

bool Accepts(int port) {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool connected =
      ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(probe);
  return connected;
}

// nginx in the foreground over a published folder, configured by the
// project's server/nginx.conf with its address and root replaced.
class NginxServer {
 public:
  NginxServer(const fs::path& published, const fs::path& prefix) : port_(FreeLoopbackPort()) {
    std::string site = ReadFile(std::string(PUPDATE_SOURCE_DIR) + "/server/nginx.conf");
    site = std::regex_replace(site, std::regex("listen [^;]+;"),
                              "listen 127.0.0.1:" + std::to_string(port_) + ";");
    site = std::regex_replace(site, std::regex("root /srv/pupdate;"),
                              "root " + published.string() + ";");
    WriteFile((prefix / "site.conf").string(), site);
    const std::string p = prefix.string();
    WriteFile((prefix / "nginx.conf").string(),
              "daemon off;\nmaster_process off;\nworker_processes 1;\n"
              "error_log " +
                  p + "/error.log;\npid " + p +
                  "/nginx.pid;\n"
                  "events { worker_connections 64; }\n"
                  "http {\n  access_log " +
                  p +
                  "/access.log;\n"
                  "  client_body_temp_path " +
                  p + "/body;\n  proxy_temp_path " + p +
                  "/proxy;\n"
                  "  fastcgi_temp_path " +
                  p + "/fastcgi;\n  uwsgi_temp_path " + p +
                  "/uwsgi;\n"
                  "  scgi_temp_path " +
                  p + "/scgi;\n  include " + p + "/site.conf;\n}\n");
    process_ = std::make_unique<ChildProcess>(
        kNginx,
        std::vector<std::string>{"-p", p + "/", "-c", p + "/nginx.conf", "-e", p + "/error.log"});
    for (int tries = 0; tries < 500 && !Accepts(port_); ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ~NginxServer() {
    process_->Signal(SIGQUIT);
    if (process_->Wait(std::chrono::seconds(10)) < 0) process_->Signal(SIGKILL);
  }
  int port() const { return port_; }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
  bool running() const { return Accepts(port_); }

 private:
  int port_;
  std::unique_ptr<ChildProcess> process_;
};

class NginxPublished : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kNginx)) GTEST_FAIL() << "nginx is not installed (scripts/install-deps.sh)";
    fs::create_directories(tree.path() / "NR2" / "FIRMWARE");
    fs::create_directories(tree.path() / "ETC");
    WriteFile(tree / "NR2/FIRMWARE/a.hex", "firmware a");
    WriteFile(tree / "NR2/FIRMWARE/b.hex", "firmware b");
    WriteFile(tree / "NR2/FIRMWARE/.filelist", "b.hex\na.hex\n");
    WriteFile(tree / "NR2/FIRMWARE/.private", "p");
    WriteFile(tree / "ETC/tool.exe", "tool");
    WriteFile(tree / "machlist.txt", "NR2,New R2 Bender\n");
    key = MakeOpenSslKey(out.path(), "publisher");
    ChildProcess publish(BuiltProgram("pupdate-server"),
                         {"--publish", tree.path().string(), (out.path() / "site").string(),
                          "--sign-key", key.privateKey});
    ASSERT_EQ(publish.Wait(), 0) << publish.Output();
    nginx = std::make_unique<NginxServer>(out.path() / "site", prefix.path());
    ASSERT_TRUE(nginx->running()) << ReadFile(prefix / "error.log");
  }

  TempDir tree, out, prefix;
  OpenSslKeyPair key;
  std::unique_ptr<NginxServer> nginx;
};
}  // namespace

TEST_F(NginxPublished, PublishWritesListsDigestsAndFilesButNothingHidden) {
  const fs::path site = out.path() / "site";
  EXPECT_EQ(ReadFile((site / "lists/NR2/FIRMWARE/filelist.txt").string()),
            "FileList\nb.hex\na.hex\n");
  EXPECT_EQ(ReadFile((site / "lists/ETC/filelist.txt").string()), "FileList\ntool.exe\n");
  EXPECT_EQ(ReadFile((site / "md5/ETC/tool.exe.md5").string()).size(), 32u);
  EXPECT_EQ(ReadFile((site / "files/machlist.txt").string()), "NR2,New R2 Bender\n");
  EXPECT_FALSE(fs::exists(site / "files/NR2/FIRMWARE/.private"));
  EXPECT_FALSE(fs::exists(site / "files/NR2/FIRMWARE/.filelist"));
  EXPECT_TRUE(fs::exists(site / "sig/NR2/FIRMWARE/a.hex.sig"));
  EXPECT_FALSE(fs::exists(site / "sig/NR2/FIRMWARE/.private.sig"));
}

TEST_F(NginxPublished, AnswersLikeTheUpdateServer) {
  httplib::Client client("127.0.0.1", nginx->port());
  client.set_url_encode(false);
  auto get = [&](const std::string& target) {
    auto reply = client.Get(target);
    return reply ? std::make_pair(reply->status, reply->body) : std::make_pair(-1, std::string());
  };
  EXPECT_EQ(get("/filelist.php?MachineName=./ETC"),
            std::make_pair(200, std::string("FileList\ntool.exe\n")));
  EXPECT_EQ(get("/filelistx.php?MachineName=NR2/FIRMWARE").second, "FileList\nb.hex\na.hex\n");
  EXPECT_EQ(get("//NR2/FIRMWARE/a.hex"), std::make_pair(200, std::string("firmware a")));
  EXPECT_EQ(get("/ETC/tool.exe").second, "tool");
  for (const std::string target :
       {"/NR2/FIRMWARE/.private", "/filelist.php?MachineName=NR2/NONE",
        "/filelist.php?MachineName=../site/lists/ETC", "/filemd5.php?FilePath=../../etc/passwd",
        "/filemd5.php?FilePath=NR2/FIRMWARE/.private", "/lists/ETC/filelist.txt"}) {
    EXPECT_EQ(get(target).first, 404) << target;
  }
}

TEST_F(NginxPublished, ServesTheSignaturesOfASignedPublishAndNoneOtherwise) {
  httplib::Client client("127.0.0.1", nginx->port());
  client.set_url_encode(false);
  auto get = [&](const std::string& target) {
    auto reply = client.Get(target);
    return reply ? std::make_pair(reply->status, reply->body) : std::make_pair(-1, std::string());
  };
  const auto [status, signature] = get("/filesig.php?FilePath=NR2/FIRMWARE/b.hex");
  EXPECT_EQ(status, 200);
  EXPECT_TRUE(
      OpenSslVerifies(key.publicKey, "NR2/FIRMWARE/b.hex", tree / "NR2/FIRMWARE/b.hex", signature));
  EXPECT_TRUE(OpenSslVerifies(key.publicKey, "ETC/tool.exe", tree / "ETC/tool.exe",
                              get("/filesig.php?FilePath=./ETC/tool.exe").second));
  for (const std::string target :
       {"/filesig.php?FilePath=NR2/FIRMWARE/none.hex",
        "/filesig.php?FilePath=NR2/FIRMWARE/.private",
        "/filesig.php?FilePath=../md5/NR2/FIRMWARE/a.hex", "/sig/NR2/FIRMWARE/a.hex.sig"}) {
    EXPECT_EQ(get(target).first, 404) << target;
  }

  // Published again without a key: the old signatures are gone.
  ChildProcess unsigned_(BuiltProgram("pupdate-server"),
                         {"--publish", tree.path().string(), (out.path() / "site").string()});
  ASSERT_EQ(unsigned_.Wait(), 0) << unsigned_.Output();
  EXPECT_EQ(get("/filesig.php?FilePath=NR2/FIRMWARE/b.hex").first, 404);
  EXPECT_EQ(get("/filemd5.php?FilePath=NR2/FIRMWARE/b.hex").first, 200);
}

TEST_F(NginxPublished, OnlineJobRunsAgainstNginx) {
  TempDir work;
  ScopedCurrentDir cwd(work.path());
  CapturingConsoleHost host;
  std::string received;
  OverrideUpdateStep("FIRMWARE",
                     [&](const JobSpec&, const std::string& file, const CancelToken&, JobConsole&) {
                       received = file + ":" + ReadFile(file);
                       return true;
                     });
  const std::string previous = ServerBaseUrl();
  SetServerBaseUrl(nginx->BaseUrl());
  std::vector<const char*> argv = {"PUpdate-NR2-Firmware-COM3"};
  const bool ok = RunJobInConsole(1, argv.data());
  SetServerBaseUrl(previous);
  OverrideUpdateStep("FIRMWARE", nullptr);

  EXPECT_TRUE(ok) << host.console.Output();
  EXPECT_EQ(received, "b.hex:firmware b");
  EXPECT_NE(host.console.Output().find("MD5 Check success.\r\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(work / "b.hex"));
}
