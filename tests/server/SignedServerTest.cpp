// pupdate-server with a publisher key: signatures checked by openssl over
// the text built here, refusals of wrong keys, and the key pair it makes.
#include <httplib.h>
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>

#include "ChildProcess.h"
#include "OpenSslPeer.h"
#include "PeerTools.h"
#include "TestFiles.h"
#include "TestUpdateServer.h"

using namespace pellux;

namespace fs = std::filesystem;

namespace {
// The real program over a small tree, signing with `key`.
class SigningServer {
 public:
  SigningServer(const fs::path& tree, const std::string& key)
      : process_(BuiltProgram("pupdate-server"),
                 {"--port", "0", "--root", tree.string(), "--sign-key", key}) {
    if (!process_.WaitForOutput("/\n")) return;
    std::smatch match;
    const std::string banner = process_.Output();
    if (std::regex_search(banner, match, std::regex("http://127\\.0\\.0\\.1:([0-9]+)/\n"))) {
      client_ = std::make_unique<httplib::Client>("127.0.0.1", std::stoi(match[1]));
      client_->set_url_encode(false);
    }
  }
  ~SigningServer() {
    process_.Signal(SIGTERM);
    process_.Wait();
  }
  bool Running() const { return client_ != nullptr; }
  std::string Output() { return process_.Output(); }
  std::pair<int, std::string> Get(const std::string& target) {
    auto reply = client_->Get(target);
    return reply ? std::make_pair(reply->status, reply->body) : std::make_pair(-1, std::string());
  }

 private:
  ChildProcess process_;
  std::unique_ptr<httplib::Client> client_;
};

class SignedServer : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(tree.path() / "NR2/FIRMWARE");
    fs::create_directories(tree.path() / "ETC");
    WriteFile(tree / "NR2/FIRMWARE/a.hex", ":00000001FF\n");
    WriteFile(tree / "NR2/FIRMWARE/new image #2.hex", "second image");
    WriteFile(tree / "NR2/FIRMWARE/.hidden", "h");
    WriteFile(tree / "ETC/tool.exe", "tool");
    WriteFile(keys / "outside.txt", "o");
    key = MakeOpenSslKey(keys.path(), "publisher");
    server = std::make_unique<SigningServer>(tree.path(), key.privateKey);
    ASSERT_TRUE(server->Running()) << server->Output();
  }

  TempDir tree, keys;
  OpenSslKeyPair key;
  std::unique_ptr<SigningServer> server;
};
}  // namespace

TEST_F(SignedServer, SignaturesVerifyWithOpensslOverTheFilesServerPath) {
  const auto [status, signature] = server->Get("/filesig.php?FilePath=NR2/FIRMWARE/a.hex");
  ASSERT_EQ(status, 200);
  EXPECT_TRUE(std::regex_match(signature, std::regex("[A-Za-z0-9+/]+={0,2}"))) << signature;
  EXPECT_TRUE(
      OpenSslVerifies(key.publicKey, "NR2/FIRMWARE/a.hex", tree / "NR2/FIRMWARE/a.hex", signature));
  // The path is part of what is signed: the same bytes under another
  // machine's or mode's path do not verify.
  EXPECT_FALSE(
      OpenSslVerifies(key.publicKey, "APB/FIRMWARE/a.hex", tree / "NR2/FIRMWARE/a.hex", signature));
  EXPECT_FALSE(
      OpenSslVerifies(key.publicKey, "NR2/FPGA/a.hex", tree / "NR2/FIRMWARE/a.hex", signature));

  // Spellings of the same path sign the path from the root; escaped names
  // sign the name itself.
  EXPECT_TRUE(OpenSslVerifies(key.publicKey, "NR2/FIRMWARE/a.hex", tree / "NR2/FIRMWARE/a.hex",
                              server->Get("/filesig.php?FilePath=NR2//FIRMWARE/a.hex").second));
  EXPECT_TRUE(OpenSslVerifies(key.publicKey, "ETC/tool.exe", tree / "ETC/tool.exe",
                              server->Get("/filesig.php?FilePath=./ETC/tool.exe").second));
  EXPECT_TRUE(OpenSslVerifies(
      key.publicKey, "NR2/FIRMWARE/new image #2.hex", tree / "NR2/FIRMWARE/new image #2.hex",
      server->Get("/filesig.php?FilePath=NR2/FIRMWARE/new%20image%20%232.hex").second));
}

TEST_F(SignedServer, NoSignatureForWhatHasNoDigest) {
  for (const std::string& file : std::vector<std::string>{
           "NR2/FIRMWARE/none.hex", "NR2/FIRMWARE/.hidden", "NR2/FIRMWARE",
           "NR2/FIRMWARE/.filelist", "../" + keys.path().filename().string() + "/outside.txt",
           "/etc/passwd", ""}) {
    EXPECT_EQ(server->Get("/filesig.php?FilePath=" + file).first, 404) << file;
    EXPECT_EQ(server->Get("/filemd5.php?FilePath=" + file).first, 404) << file;
  }
  EXPECT_EQ(server->Get("/filesig.php").first, 404);
  EXPECT_EQ(server->Get("/filesig.php?MachineName=NR2/FIRMWARE/a.hex").first, 404);
}

TEST(UnsignedServer, AnswersNoSignatureButItsDigests) {
  TestUpdateServer server;
  server.AddFile("NR2", "FIRMWARE", "a.hex", "1");
  httplib::Client client("127.0.0.1", server.Port());
  const auto signature = client.Get("/filesig.php?FilePath=NR2/FIRMWARE/a.hex");
  ASSERT_TRUE(signature);
  EXPECT_EQ(signature->status, 404);
  const auto digest = client.Get("/filemd5.php?FilePath=NR2/FIRMWARE/a.hex");
  ASSERT_TRUE(digest);
  EXPECT_EQ(digest->body, "c4ca4238a0b923820dcc509a6f75849b");
}

TEST(ServerKeys, MakeKeyWritesAPrivateKeyForItsOwnerAndAPublicKeyThatOpensslReads) {
  TempDir dir, tree;
  ChildProcess make(BuiltProgram("pupdate-server"), {"--make-key", dir / "publisher"});
  ASSERT_EQ(make.Wait(), 0) << make.Output();
  struct stat info {};
  ASSERT_EQ(::stat((dir / "publisher.key").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat((dir / "publisher.pub.pem").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0077, 0044u) << "the public key is for everyone to read";
  const std::string publicPem = ReadFile(dir / "publisher.pub.pem");
  EXPECT_EQ(publicPem.rfind("-----BEGIN PUBLIC KEY-----\n", 0), 0u) << publicPem;
  const PeerResult described =
      RunPeer("openssl", {"pkey", "-pubin", "-in", dir / "publisher.pub.pem", "-noout", "-text"});
  EXPECT_EQ(described.status, 0) << described.output;
  EXPECT_NE(described.output.find("P-256"), std::string::npos) << described.output;

  // The pair belongs together: what the server signs with the private key
  // verifies with the public one.
  fs::create_directories(tree.path() / "APB/FPGA");
  WriteFile(tree / "APB/FPGA/image.bin", std::string(100000, 'x'));
  SigningServer server(tree.path(), dir / "publisher.key");
  ASSERT_TRUE(server.Running()) << server.Output();
  EXPECT_TRUE(OpenSslVerifies(dir / "publisher.pub.pem", "APB/FPGA/image.bin",
                              tree / "APB/FPGA/image.bin",
                              server.Get("/filesig.php?FilePath=APB/FPGA/image.bin").second));
}

TEST(ServerKeys, MakeKeyNeverReplacesAnExistingFile) {
  TempDir dir;
  WriteFile(dir / "old.key", "the publisher's only key");
  ChildProcess first(BuiltProgram("pupdate-server"), {"--make-key", dir / "old"});
  EXPECT_EQ(first.Wait(), 1);
  EXPECT_NE(first.Output().find("pupdate-server: " + (dir / "old.key") + " exists already"),
            std::string::npos)
      << first.Output();
  EXPECT_EQ(ReadFile(dir / "old.key"), "the publisher's only key");
  EXPECT_FALSE(fs::exists(dir / "old.pub.pem"));

  WriteFile(dir / "other.pub.pem", "a public key");
  ChildProcess second(BuiltProgram("pupdate-server"), {"--make-key", dir / "other"});
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_FALSE(fs::exists(dir / "other.key")) << "no private key without its public key";
  EXPECT_EQ(ReadFile(dir / "other.pub.pem"), "a public key");
}

TEST(ServerKeys, ASigningKeyThatIsNoP256PrivateKeyIsRefused) {
  TempDir dir, tree;
  const OpenSslKeyPair p384 = MakeOpenSslKey(dir.path(), "p384", "P-384");
  const OpenSslKeyPair p256 = MakeOpenSslKey(dir.path(), "p256");
  ASSERT_EQ(RunPeer("openssl", {"genpkey", "-algorithm", "ED25519", "-out", dir / "ed.pem"}).status,
            0);
  for (const std::string& key : {p384.privateKey, p256.publicKey, dir / "ed.pem"}) {
    for (const std::vector<std::string>& mode :
         {std::vector<std::string>{"--port", "0", "--root", tree.path()},
          std::vector<std::string>{"--publish", tree.path(), dir / "site"}}) {
      std::vector<std::string> args = mode;
      args.insert(args.end(), {"--sign-key", key});
      ChildProcess server(BuiltProgram("pupdate-server"), args);
      EXPECT_EQ(server.Wait(), 1) << server.Output();
      EXPECT_EQ(server.Output(), "pupdate-server: " + key +
                                     " is not an ECDSA P-256 private key in PEM (make one with "
                                     "pupdate-server --make-key)\n");
    }
  }
  ChildProcess missing(BuiltProgram("pupdate-server"), {"--sign-key", dir / "none.pem"});
  EXPECT_EQ(missing.Wait(), 1);
  EXPECT_EQ(missing.Output(),
            "pupdate-server: cannot read the signing key " + (dir / "none.pem") + "\n");
  EXPECT_FALSE(fs::exists(dir / "site"));
}

TEST(SimServer, SignsItsSampleContentWithTheKeyItPrintsAndRemovesTheKeyOnStop) {
  TempDir dir;
  ChildProcess sim(BuiltProgram("pupdate-sim"), {"--server", "--content", dir / "content"});
  ASSERT_TRUE(sim.WaitForOutput("Press Ctrl+C to stop.\n")) << sim.Output();
  const std::string output = sim.Output();
  std::smatch port, trusted, publicKey;
  ASSERT_TRUE(std::regex_search(
      output, port, std::regex("PUPDATE_SERVER_URL=http://127\\.0\\.0\\.1:([0-9]+)/\n")));
  ASSERT_TRUE(std::regex_search(output, trusted, std::regex("PUPDATE_TRUSTED_KEYS=(\\S+)\n")));
  ASSERT_TRUE(std::regex_search(output, publicKey, std::regex("public key is (\\S+)\n")));
  const fs::path keyFolder = trusted[1].str();
  EXPECT_EQ(fs::path(publicKey[1].str()).parent_path(), keyFolder);
  // The folder to trust holds the public key and nothing else.
  std::vector<std::string> trustedFiles;
  for (const auto& entry : fs::directory_iterator(keyFolder))
    trustedFiles.push_back(entry.path().string());
  EXPECT_EQ(trustedFiles, std::vector<std::string>{publicKey[1].str()});
  EXPECT_EQ(ReadFile(publicKey[1]).rfind("-----BEGIN PUBLIC KEY-----\n", 0), 0u);
  for (const auto& entry : fs::recursive_directory_iterator(dir / "content")) {
    if (!entry.is_regular_file()) continue;
    EXPECT_EQ(ReadFile(entry.path().string()).find("PRIVATE KEY"), std::string::npos)
        << "the private key lies outside the served tree";
  }

  httplib::Client client("127.0.0.1", std::stoi(port[1]));
  const std::string path = "NR2/FIRMWARE/NR2_FW_V251112.hex";
  const auto signature = client.Get("/filesig.php?FilePath=" + path);
  ASSERT_TRUE(signature);
  EXPECT_EQ(signature->status, 200);
  EXPECT_TRUE(OpenSslVerifies(publicKey[1], path, dir / ("content/" + path), signature->body));

  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_FALSE(fs::exists(keyFolder.parent_path())) << "the run's keys end with it";
}
