// Signed update files on BCrypt: keys and signatures made with the openssl
// command line by scripts/test-windows.sh, served over HTTP from Linux.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "CapturingConsole.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "base/Cancellation.h"
#include "base/ProgramLocation.h"
#include "jobs/JobDriver.h"
#include "jobs/UpdateStep.h"
#include "net/ServerBaseUrl.h"
#include "net/SignatureCrypto.h"
#include "net/TrustedKeys.h"

using namespace pellux;

namespace fs = std::filesystem;

namespace {
// Sets an environment variable for a scope ("" removes it).
class ScopedSetting {
 public:
  ScopedSetting(const char* name, const std::string& value)
      : name_(name), previous_(TestSetting(name)) {
    _putenv_s(name_, value.c_str());
  }
  ~ScopedSetting() { _putenv_s(name_, previous_.c_str()); }
  ScopedSetting(const ScopedSetting&) = delete;
  ScopedSetting& operator=(const ScopedSetting&) = delete;

 private:
  const char* name_;
  std::string previous_;
};

class WindowsSignedJob : public ::testing::Test {
 protected:
  void SetUp() override {
    url_ = TestSetting("PUPDATE_TEST_SIGNED_URL");
    keys_ = TestSetting("PUPDATE_TEST_TRUSTED_KEYS");
    local_ = TestSetting("PUPDATE_TEST_SIGNED_LOCAL");
    if (url_.empty() || keys_.empty() || local_.empty()) {
      GTEST_FAIL() << "PUPDATE_TEST_SIGNED_URL, PUPDATE_TEST_TRUSTED_KEYS and "
                      "PUPDATE_TEST_SIGNED_LOCAL are not set: run scripts/test-windows.sh";
    }
    previousUrl_ = ServerBaseUrl();
    SetServerBaseUrl(url_);
    OverrideUpdateStep(
        "FPGA", [this](const JobSpec&, const std::string& file, const CancelToken&, JobConsole&) {
          ++stepRuns;
          stepContent = ReadFile(file);
          return true;
        });
  }
  void TearDown() override {
    OverrideUpdateStep("FPGA", nullptr);
    if (!previousUrl_.empty()) SetServerBaseUrl(previousUrl_);
  }

  bool RunFpgaJob(const std::string& file, bool local = false) {
    ScopedCurrentDir cwd(work.path());
    const char* argv[] = {"PUpdate-NR2-FPGA-COM3", file.c_str(), "local"};
    return RunJob(local ? 3 : 2, argv, cancel, console);
  }
  bool Printed(const std::string& text) const {
    return console.Output().find(text) != std::string::npos;
  }

  std::string url_;
  std::string keys_;
  std::string local_;
  std::string previousUrl_;
  TempDir work;
  CancelToken cancel;
  CapturingConsole console;
  int stepRuns = 0;
  std::string stepContent;
};
}  // namespace

TEST_F(WindowsSignedJob, CorrectlySignedFileReachesTheStep) {
  ScopedSetting trusted("PUPDATE_TRUSTED_KEYS", keys_);
  EXPECT_TRUE(RunFpgaJob("good.bin")) << console.Output();
  EXPECT_EQ(stepRuns, 1);
  EXPECT_EQ(stepContent, ReadFile(local_ + "\\good.bin"));
  EXPECT_TRUE(
      Printed("MD5 Check success.\r\nSignature check success (publisher key "
              "publisher.pub.pem).\r\n"))
      << console.Output();
  EXPECT_TRUE(fs::is_empty(work.path()));
}

TEST_F(WindowsSignedJob, EveryUntrustedFileIsRefusedAndRemoved) {
  ScopedSetting trusted("PUPDATE_TRUSTED_KEYS", keys_);
  const std::string notVerified = "the trusted key (" + keys_ + ") does not verify its signature";
  const struct {
    const char* file;
    std::string why;
  } cases[] = {
      // Altered after signing; the digest reply matches the altered bytes.
      {.file = "tampered.bin", .why = notVerified},
      {.file = "otherpath.bin", .why = notVerified},  // signed for NR2/FIRMWARE/
      {.file = "stranger.bin", .why = notVerified},   // signed by a key not in the folder
      {.file = "malformed.bin", .why = "the signature is malformed"},
      {.file = "unsigned.bin",
       .why = "the server sent no signature (no reply, or an error status, from filesig.php)"},
  };
  for (const auto& refused : cases) {
    console.ClearOutput();
    EXPECT_FALSE(RunFpgaJob(refused.file)) << refused.file;
    EXPECT_TRUE(Printed("MD5 Check success.\r\n")) << console.Output();
    EXPECT_TRUE(Printed(std::string("NR2/FPGA/") + refused.file +
                        " is not signed by a trusted publisher: " + refused.why))
        << console.Output();
    EXPECT_TRUE(Printed("; the downloaded file was deleted and nothing was sent to the machine."));
    // The refusal is the one line after the digests.
    EXPECT_EQ(console.Output().find("Fail access to server."), std::string::npos);
    EXPECT_TRUE(fs::is_empty(work.path())) << refused.file << " stayed on disk";
  }
  EXPECT_EQ(stepRuns, 0);
}

TEST_F(WindowsSignedJob, WithoutATrustedKeyTheJobGoesOnWithOneLine) {
  TempDir empty;
  ScopedSetting none("PUPDATE_TRUSTED_KEYS", empty.path().string());
  EXPECT_TRUE(RunFpgaJob("unsigned.bin")) << console.Output();
  EXPECT_EQ(stepRuns, 1);
  EXPECT_TRUE(
      Printed("MD5 Check success.\r\nPublisher of NR2/FPGA/unsigned.bin not checked: no "
              "trusted publisher key is installed (no *.pem in " +
              empty.path().string() + ").\r\n"))
      << console.Output();
}

TEST_F(WindowsSignedJob, LocalFileIsCheckedAgainstItsSigFile) {
  ScopedSetting trusted("PUPDATE_TRUSTED_KEYS", keys_);
  EXPECT_TRUE(RunFpgaJob(local_ + "\\good.bin", true)) << console.Output();
  EXPECT_TRUE(Printed("Signature check success (publisher key publisher.pub.pem).\r\n"));
  EXPECT_FALSE(RunFpgaJob(local_ + "\\tampered.bin", true));
  EXPECT_TRUE(Printed(local_ + "\\tampered.bin (as NR2/FPGA/tampered.bin) is not signed by a "
                               "trusted publisher: "))
      << console.Output();
  EXPECT_EQ(stepRuns, 1);
  EXPECT_TRUE(fs::exists(local_ + "\\tampered.bin")) << "a local file is the user's own";
}

TEST(WindowsSignatureCrypto, Sha256AndKeysThroughBCrypt) {
  TempDir dir;
  WriteFile(dir / "abc", "abc");
  EXPECT_EQ(Sha256OfFile(dir / "abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256OfFile(dir / "none"), "");
  const std::string keys = TestSetting("PUPDATE_TEST_TRUSTED_KEYS");
  ASSERT_FALSE(keys.empty()) << "run scripts/test-windows.sh";
  EXPECT_TRUE(IsP256PublicKey(ReadFile(keys + "\\publisher.pub.pem")));
  EXPECT_FALSE(IsP256PublicKey("-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n"));
  // Without PUPDATE_TRUSTED_KEYS: the "keys" folder beside the program.
  ScopedSetting unset("PUPDATE_TRUSTED_KEYS", "");
  EXPECT_EQ(TrustedKeyFolders(),
            std::vector<fs::path>{RunningProgramPath().parent_path() / "keys"});
}
