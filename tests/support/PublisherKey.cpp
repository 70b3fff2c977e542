#include "PublisherKey.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "PeerTools.h"
#include "TestFiles.h"

namespace pellux {

namespace {
std::atomic<int> scratchCount{0};

// A scratch file of the test's own, removed with it.
class Scratch {
 public:
  explicit Scratch(const std::string& content)
      : path_(
            (std::filesystem::temp_directory_path() /
             ("pupdate-sign-" + std::to_string(::getpid()) + "-" + std::to_string(scratchCount++)))
                .string()) {
    WriteFile(path_, content);
  }
  ~Scratch() { std::filesystem::remove(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string Openssl(const std::vector<std::string>& args) {
  const PeerResult result = RunPeer("openssl", args);
  EXPECT_EQ(result.status, 0) << "openssl failed: " << result.output;
  return result.output;
}
}  // namespace

PublisherKey::PublisherKey(const std::string& publicFolder, const std::string& name)
    : private_(secret_ / (name + ".key")), public_(publicFolder + "/" + name + ".pem") {
  std::filesystem::create_directories(publicFolder);
  Openssl({"ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", private_});
  Openssl({"ec", "-in", private_, "-pubout", "-out", public_});
}

std::string PublisherKey::PublicPem() const {
  return ReadFile(public_);
}

std::string PublisherKey::Sign(const std::string& text) const {
  const Scratch message(text);
  const Scratch signature("");
  Openssl({"dgst", "-sha256", "-sign", private_, "-out", signature.path(), message.path()});
  std::string base64 = Openssl({"base64", "-A", "-in", signature.path()});
  while (!base64.empty() && (base64.back() == '\n' || base64.back() == '\r')) base64.pop_back();
  return base64;
}

std::string PublisherKey::SignContent(const std::string& serverPath,
                                      const std::string& content) const {
  return Sign(PublisherSignedText(serverPath, content));
}

std::string PublisherSignedText(const std::string& serverPath, const std::string& content) {
  return "PelluxUpdate signature 1\n" + serverPath + "\n" + OpensslDigest("-sha256", content) +
         "\n";
}

std::string OpensslDigest(const std::string& algorithm, const std::string& content) {
  const Scratch file(content);
  // "-r": "<hex> *<file>".
  const std::string line = Openssl({"dgst", algorithm, "-r", file.path()});
  return line.substr(0, line.find(' '));
}

}  // namespace pellux
