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
#include "ScopedEnv.h"
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
    fs::create_directories(tree.path() / "NR2" / "FPGA");
    WriteFile(tree / "NR2/FPGA/NR2 FW v2.hex", "spaced");
    WriteFile(tree / "NR2/FPGA/fw#2.hex", "hashed");
    WriteFile(tree / "machlist.txt", "NR2,New R2 Bender\n");
    key = MakeOpenSslKey(out.path(), "publisher");
    ChildProcess publish(BuiltProgram("pupdate-server"),
                         {"--publish", tree.path().string(), (out.path() / "site").string(),
                          "--sign-key", key.privateKey});
    ASSERT_EQ(publish.Wait(), 0) << publish.Output();
    nginx = std::make_unique<NginxServer>(out.path() / "site", prefix.path());
    ASSERT_TRUE(nginx->running()) << ReadFile(prefix / "error.log");
  }

  // Status and body of a GET sent byte for byte.
  std::pair<int, std::string> Get(const std::string& target) {
    httplib::Client client("127.0.0.1", nginx->port());
    client.set_url_encode(false);
    auto reply = client.Get(target);
    return reply ? std::make_pair(reply->status, reply->body) : std::make_pair(-1, std::string());
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
  EXPECT_EQ(Get("/filelist.php?MachineName=./ETC"),
            std::make_pair(200, std::string("FileList\ntool.exe\n")));
  EXPECT_EQ(Get("/filelistx.php?MachineName=NR2/FIRMWARE").second, "FileList\nb.hex\na.hex\n");
  EXPECT_EQ(Get("//NR2/FIRMWARE/a.hex"), std::make_pair(200, std::string("firmware a")));
  EXPECT_EQ(Get("/ETC/tool.exe").second, "tool");
  for (const std::string target :
       {"/NR2/FIRMWARE/.private", "/filelist.php?MachineName=NR2/NONE",
        "/filelist.php?MachineName=../site/lists/ETC", "/filemd5.php?FilePath=../../etc/passwd",
        "/filemd5.php?FilePath=NR2/FIRMWARE/.private", "/lists/ETC/filelist.txt"}) {
    EXPECT_EQ(Get(target).first, 404) << target;
  }
}

TEST_F(NginxPublished, ServesTheSignaturesOfASignedPublishAndNoneOtherwise) {
  const auto [status, signature] = Get("/filesig.php?FilePath=NR2/FIRMWARE/b.hex");
  EXPECT_EQ(status, 200);
  EXPECT_TRUE(
      OpenSslVerifies(key.publicKey, "NR2/FIRMWARE/b.hex", tree / "NR2/FIRMWARE/b.hex", signature));
  EXPECT_TRUE(OpenSslVerifies(key.publicKey, "ETC/tool.exe", tree / "ETC/tool.exe",
                              Get("/filesig.php?FilePath=./ETC/tool.exe").second));
  for (const std::string target :
       {"/filesig.php?FilePath=NR2/FIRMWARE/none.hex",
        "/filesig.php?FilePath=NR2/FIRMWARE/.private",
        "/filesig.php?FilePath=../md5/NR2/FIRMWARE/a.hex", "/sig/NR2/FIRMWARE/a.hex.sig"}) {
    EXPECT_EQ(Get(target).first, 404) << target;
  }

  // Published again without a key: the old signatures are gone.
  ChildProcess unsigned_(BuiltProgram("pupdate-server"),
                         {"--publish", tree.path().string(), (out.path() / "site").string()});
  ASSERT_EQ(unsigned_.Wait(), 0) << unsigned_.Output();
  EXPECT_EQ(Get("/filesig.php?FilePath=NR2/FIRMWARE/b.hex").first, 404);
  EXPECT_EQ(Get("/filemd5.php?FilePath=NR2/FIRMWARE/b.hex").first, 200);
}

TEST_F(NginxPublished, OnlineJobRunsAgainstNginx) {
  TempDir work, trusted;
  // The job trusts the publisher's public key, and nothing else.
  fs::copy_file(key.publicKey, trusted / "publisher.pub.pem");
  ScopedEnv keys("PUPDATE_TRUSTED_KEYS", trusted.path().string());
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
  EXPECT_NE(
      host.console.Output().find("MD5 Check success.\r\nSignature check success (publisher key "
                                 "publisher.pub.pem).\r\n"),
      std::string::npos)
      << host.console.Output();
  EXPECT_FALSE(fs::exists(work / "b.hex"));
}

TEST_F(NginxPublished, NamesWithSpacesAndHashesRunAgainstNginx) {
  TempDir work;
  ScopedCurrentDir cwd(work.path());
  CapturingConsoleHost host;
  std::string received;
  OverrideUpdateStep("FPGA",
                     [&](const JobSpec&, const std::string& file, const CancelToken&, JobConsole&) {
                       received = file + ":" + ReadFile(file);
                       return true;
                     });
  const std::string previous = ServerBaseUrl();
  SetServerBaseUrl(nginx->BaseUrl());
  std::vector<std::string> results;
  for (const char* name : {"NR2 FW v2.hex", "fw#2.hex"}) {
    received.clear();
    std::vector<const char*> argv = {"PUpdate-NR2-FPGA-COM3", name};
    const bool ok = RunJobInConsole(2, argv.data());
    results.push_back((ok ? "ok " : "failed ") + received);
  }
  SetServerBaseUrl(previous);
  OverrideUpdateStep("FPGA", nullptr);
  EXPECT_EQ(results, (std::vector<std::string>{"ok NR2 FW v2.hex:spaced", "ok fw#2.hex:hashed"}))
      << host.console.Output();
}

// The published signature, put beside the file on disk, serves a local job.
TEST_F(NginxPublished, PublishedSignatureServesALocalJob) {
  TempDir work, trusted;
  fs::copy_file(key.publicKey, trusted / "publisher.pub.pem");
  ScopedEnv keys("PUPDATE_TRUSTED_KEYS", trusted.path().string());
  fs::copy_file(out.path() / "site/files/NR2/FIRMWARE/a.hex", work / "a.hex");
  fs::copy_file(out.path() / "site/sig/NR2/FIRMWARE/a.hex.sig", work / "a.hex.sig");
  CapturingConsoleHost host;
  int runs = 0;
  OverrideUpdateStep("FIRMWARE",
                     [&](const JobSpec&, const std::string&, const CancelToken&, JobConsole&) {
                       ++runs;
                       return true;
                     });
  const std::string local = work / "a.hex";
  std::vector<const char*> argv = {"PUpdate-NR2-Firmware-COM3", local.c_str(), "local"};
  EXPECT_TRUE(RunJobInConsole(3, argv.data())) << host.console.Output();
  // Signed for a.hex: the same bytes under another name are refused.
  fs::rename(work / "a.hex", work / "b.hex");
  fs::rename(work / "a.hex.sig", work / "b.hex.sig");
  const std::string renamed = work / "b.hex";
  argv[1] = renamed.c_str();
  EXPECT_FALSE(RunJobInConsole(3, argv.data()));
  OverrideUpdateStep("FIRMWARE", nullptr);
  EXPECT_EQ(runs, 1);
  EXPECT_NE(host.console.Output().find("Signature check success (publisher key "),
            std::string::npos)
      << host.console.Output();
  EXPECT_NE(host.console.Output().find(renamed + " (as NR2/FIRMWARE/b.hex) is not signed by a "
                                                 "trusted publisher: "),
            std::string::npos)
      << host.console.Output();
}
