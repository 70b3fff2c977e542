// Signed update files: keys and signatures made with the openssl command
// line, files served over HTTP on 127.0.0.1, whole FPGA jobs against the
// board twin.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "CannedHttpServer.h"
#include "CapturingConsole.h"
#include "OpenSslPeer.h"
#include "PeerTools.h"
#include "ScopedEnv.h"
#include "TestFiles.h"
#include "VirtualControlBoard.h"
#include "base/Cancellation.h"
#include "jobs/JobDriver.h"
#include "net/SignatureEncoding.h"

using namespace pellux;

namespace fs = std::filesystem;

namespace {
const std::string kPath = "NR2/FPGA/NR2_FPGA_V1.bin";
const char* const kJob = "PUpdate-NR2-FPGA-COM3";

std::string UpperHex(const uint8_t* bytes, size_t size) {
  std::string hex;
  for (size_t i = 0; i < size; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
    hex += pair;
  }
  return hex;
}

std::string ImageOf(size_t size, int seed) {
  std::string image(size, '\0');
  for (size_t i = 0; i < size; ++i) image[i] = static_cast<char>((i * 31 + seed) & 0xFF);
  return image;
}

// A publisher: a key pair made by openssl, the private key in a folder of
// its own, the public key copied into `trustedFolder` (if any).
class TestPublisher {
 public:
  TestPublisher(const std::string& name, const std::string& trustedFolder = "")
      : pair_(MakeOpenSslKey(secret_.path(), name)) {
    if (trustedFolder.empty()) return;
    fs::create_directories(trustedFolder);
    publicCopy_ = (fs::path(trustedFolder) / fs::path(pair_.publicKey).filename()).string();
    fs::copy_file(pair_.publicKey, publicCopy_);
  }
  const std::string& privateKey() const { return pair_.privateKey; }
  const std::string& trustedCopy() const { return publicCopy_; }
  std::string Sign(const std::string& text) const { return OpenSslSign(pair_.privateKey, text); }
  // The signature of `content` at `serverPath`.
  std::string SignContent(const std::string& serverPath, const std::string& content) const {
    WriteFile(secret_ / "content", content);
    return Sign(SignedTextBySha256sum(serverPath, secret_ / "content"));
  }

 private:
  TempDir secret_;
  OpenSslKeyPair pair_;
  std::string publicCopy_;
};

std::string Md5sum(const std::string& content) {
  TempDir dir;
  WriteFile(dir / "f", content);
  return RunPeer("md5sum", {dir / "f"}).output.substr(0, 32);
}

class SignedUpdate : public ::testing::Test {
 protected:
  SignedUpdate() : trusted("publisher", keys / "trusted") {
    fs::create_directories(work.path());
    board.Start();
  }

  // The file on the server as the list, the data, its digest and (unless
  // empty) its signature.
  void Publish(const std::string& content, const std::string& signature) {
    server.Answer("/filelist.php?MachineName=NR2/FPGA", "FileList\nNR2_FPGA_V1.bin\n");
    server.Answer("//" + kPath, content);
    server.Answer("/filemd5.php?FilePath=" + kPath, Md5sum(content));
    if (signature.empty()) {
      server.Forget("/filesig.php?FilePath=" + kPath);
    } else {
      server.Answer("/filesig.php?FilePath=" + kPath, signature);
    }
  }

  // An online FPGA job with the board twin on COM3.
  bool RunOnlineJob(std::vector<const char*> argv = {kJob}) {
    // A board that took an image restarts before it listens again.
    EXPECT_TRUE(board.WaitForMode(VirtualControlBoard::Mode::Running));
    ScopedCurrentDir cwd(work.path());
    auto job = std::async(std::launch::async, [&] {
      return RunJob(static_cast<int>(argv.size()), argv.data(), cancel, console);
    });
    if (job.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
      ADD_FAILURE() << "the job did not end";
      cancel.Cancel();
    }
    return job.get();
  }

  bool Printed(const std::string& text) const {
    return console.Output().find(text) != std::string::npos;
  }
  bool Asked(const std::string& target) const {
    const auto targets = server.Targets();
    return std::find(targets.begin(), targets.end(), target) != targets.end();
  }
  // The job ended before the board's port saw a single byte, and left no file.
  void ExpectRefusedBeforeTheBoard() {
    EXPECT_TRUE(board.Received().empty()) << "bytes went to the board";
    EXPECT_EQ(board.FpgaImagesReceived(), 0);
    EXPECT_TRUE(fs::is_empty(work.path())) << "the refused file stayed on disk";
  }

  TempDir keys;
  TestPublisher trusted;
  TempDir work;
  CannedHttpServer server;
  VirtualControlBoard board;
  CancelToken cancel;
  CapturingConsole console;
  ScopedEnv ports{"PUPDATE_PORT_MAP", "COM3=" + board.PortPath()};
  ScopedEnv keyFolder{"PUPDATE_TRUSTED_KEYS", keys / "trusted"};
  const std::string refusal = kPath + " is not signed by a trusted publisher: ";
  const std::string deleted =
      "; the downloaded file was deleted and nothing was sent to the machine. Ask the publisher "
      "for a signed file, or check the server address.\r\n";
};

}  // namespace

TEST_F(SignedUpdate, CorrectlySignedFileGoesThroughAWholeJob) {
  const std::string image = ImageOf(700, 3);
  Publish(image, trusted.SignContent(kPath, image));
  EXPECT_TRUE(RunOnlineJob()) << console.Output();
  ASSERT_TRUE(board.WaitForFpgaImages(1));
  std::vector<uint8_t> sent = board.FpgaImage();
  sent.resize(image.size());
  EXPECT_EQ(sent, std::vector<uint8_t>(image.begin(), image.end()));
  EXPECT_TRUE(
      Printed("MD5 Check success.\r\nSignature check success (publisher key "
              "publisher.pub.pem).\r\n"))
      << console.Output();
  EXPECT_TRUE(Printed("Board FPGA Upgrade process success.\r\n"));
  EXPECT_EQ(server.Targets(),
            (std::vector<std::string>{"/filelist.php?MachineName=NR2/FPGA", "//" + kPath,
                                      "/filemd5.php?FilePath=" + kPath,
                                      "/filesig.php?FilePath=" + kPath}));
  EXPECT_TRUE(fs::is_empty(work.path()));
}

TEST_F(SignedUpdate, TamperedFileWithAMatchingDigestNeverReachesTheBoard) {
  const std::string image = ImageOf(700, 3);
  std::string tampered = image;
  tampered[100] ^= 0x01;
  // The digest reply made to match the tampered bytes; the signature is the
  // publisher's, of the real file.
  Publish(tampered, trusted.SignContent(kPath, image));
  // The file named, as the Select File dialog and the drive buttons run it.
  EXPECT_FALSE(RunOnlineJob({kJob, "NR2_FPGA_V1.bin"}));
  EXPECT_TRUE(Printed("MD5 Check success.\r\n" + refusal + "the trusted key (" + keys / "trusted" +
                      ") does not verify its signature: the file was altered, signed for "
                      "another path, or signed by an unknown key" +
                      deleted))
      << console.Output();
  ExpectRefusedBeforeTheBoard();
}

TEST_F(SignedUpdate, SignatureMadeForAnotherPathIsRefused) {
  const std::string image = ImageOf(500, 9);
  // Validly signed, for another machine's folder and for another mode.
  for (const std::string other :
       {"R1/FPGA/NR2_FPGA_V1.bin", "NR2/FIRMWARE/NR2_FPGA_V1.bin", "NR2/FPGA/NR2_FPGA_V2.bin"}) {
    console.ClearOutput();
    Publish(image, trusted.SignContent(other, image));
    EXPECT_FALSE(RunOnlineJob()) << other;
    EXPECT_TRUE(Printed(refusal + "the trusted key (")) << console.Output();
    ExpectRefusedBeforeTheBoard();
  }
}

TEST_F(SignedUpdate, OnlyKeysInTheFolderMaySignAndAnyOfThemMay) {
  const TestPublisher stranger("stranger");
  const TestPublisher second("second", keys / "trusted");
  const std::string image = ImageOf(400, 5);

  Publish(image, stranger.SignContent(kPath, image));
  EXPECT_FALSE(RunOnlineJob());
  EXPECT_TRUE(Printed(refusal + "none of the 2 trusted keys (" + keys / "trusted" +
                      ") verifies its signature"))
      << console.Output();
  ExpectRefusedBeforeTheBoard();

  console.ClearOutput();
  Publish(image, second.SignContent(kPath, image));
  EXPECT_TRUE(RunOnlineJob()) << console.Output();
  EXPECT_TRUE(Printed("Signature check success (publisher key second.pub.pem).\r\n"));
  EXPECT_TRUE(board.WaitForFpgaImages(1));
}

TEST_F(SignedUpdate, MissingOrMalformedSignatureIsRefused) {
  const std::string image = ImageOf(300, 1);
  const std::string good = trusted.SignContent(kPath, image);
  Publish(image, "");
  EXPECT_FALSE(RunOnlineJob());
  EXPECT_TRUE(Asked("/filesig.php?FilePath=" + kPath));
  EXPECT_TRUE(Printed("MD5 Check success.\r\n" + refusal +
                      "the server sent no signature (no reply, or an error status, from "
                      "filesig.php)" +
                      deleted))
      << console.Output();
  ExpectRefusedBeforeTheBoard();

  const std::string der = *DecodeBase64(good);
  for (const std::string& bad : {std::string("not base64 at all"), good.substr(0, good.size() - 4),
                                 good + "\n" + good, good + " ",
                                 // Valid base64 around a DER that is not a signature.
                                 std::string("MAMCAQE="), std::string(good.size(), 'A')}) {
    console.ClearOutput();
    Publish(image, bad);
    EXPECT_FALSE(RunOnlineJob()) << bad;
    EXPECT_TRUE(Printed(refusal +
                        "the signature is malformed (not one line of base64 of a DER ECDSA "
                        "signature)" +
                        deleted))
        << bad << "\n"
        << console.Output();
    ExpectRefusedBeforeTheBoard();
  }
  // One line end after it is part of a line.
  console.ClearOutput();
  Publish(image, good + "\r\n");
  EXPECT_TRUE(RunOnlineJob()) << console.Output();
}

TEST_F(SignedUpdate, WithoutATrustedKeyTheJobRunsAsBeforeWithOneLine) {
  // The folder holds a private key, one under a key's name, and a note; no
  // public key.
  fs::remove(trusted.trustedCopy());
  fs::copy_file(trusted.privateKey(), keys / "trusted/publisher.key");
  fs::copy_file(trusted.privateKey(), keys / "trusted/wrong.pem");
  WriteFile(keys / "trusted/README", "publisher keys go here\n");
  const std::string image = ImageOf(300, 2);
  Publish(image, "");
  EXPECT_TRUE(RunOnlineJob()) << console.Output();
  EXPECT_TRUE(board.WaitForFpgaImages(1));
  const std::string folder = keys / "trusted";
  EXPECT_TRUE(Printed("MD5 Check success.\r\nTrusted key folder: " + folder +
                      "/wrong.pem is not a P-256 public key (PEM \"BEGIN PUBLIC KEY\"); "
                      "ignored.\r\nPublisher of " +
                      kPath + " not checked: no trusted publisher key is installed (no *.pem in " +
                      folder + ").\r\n\r\nIf upgrade mode"))
      << console.Output();
  EXPECT_FALSE(Asked("/filesig.php?FilePath=" + kPath)) << "no key, no question";

  // A folder that is not there holds no key either.
  console.ClearOutput();
  ScopedEnv missing("PUPDATE_TRUSTED_KEYS", keys / "missing");
  EXPECT_TRUE(RunOnlineJob()) << console.Output();
  EXPECT_TRUE(Printed("MD5 Check success.\r\nPublisher of " + kPath +
                      " not checked: no trusted publisher key is installed (no *.pem in " +
                      keys / "missing" + ").\r\n\r\nIf upgrade mode"))
      << console.Output();
}

// Keys that are there but cannot be read never turn the check off: here the
// variable names the key file instead of its folder.
TEST_F(SignedUpdate, KeysThatCannotBeReadStopTheJob) {
  const std::string image = ImageOf(300, 6);
  Publish(image, trusted.SignContent(kPath, image));
  ScopedEnv keyFile("PUPDATE_TRUSTED_KEYS", trusted.trustedCopy());
  EXPECT_FALSE(RunOnlineJob());
  EXPECT_TRUE(Printed("MD5 Check success.\r\nCannot check the publisher of " + kPath +
                      ": the trusted keys cannot be read (" + trusted.trustedCopy() +
                      ": Not a directory); nothing was sent to the machine. Make the key folder "
                      "and its *.pem files readable, or set PUPDATE_TRUSTED_KEYS to a folder of "
                      "keys.\r\n"))
      << console.Output();
  ExpectRefusedBeforeTheBoard();
}

TEST_F(SignedUpdate, KeyOfAnotherCurveIsNoTrustedKey) {
  const OpenSslKeyPair p384 = MakeOpenSslKey(keys.path(), "p384", "P-384");
  const std::string other = keys / "trusted/p384.pub.pem";
  fs::copy_file(p384.publicKey, other);
  const std::string image = ImageOf(200, 4);
  Publish(image, trusted.SignContent(kPath, image));
  EXPECT_TRUE(RunOnlineJob()) << console.Output();
  EXPECT_TRUE(Printed("Trusted key folder: " + other + " is not a P-256 public key"));
  EXPECT_TRUE(Printed("Signature check success (publisher key publisher.pub.pem).\r\n"));
}

// A file from disk: its signature beside it, for the path the job would
// download it from.
TEST_F(SignedUpdate, LocalFileIsCheckedAgainstTheSignatureBesideIt) {
  TempDir disk;
  const std::string image = ImageOf(600, 7);
  const std::string file = disk / "NR2_FPGA_V1.bin";
  WriteFile(file, image);
  WriteFile(file + ".sig", trusted.SignContent(kPath, image) + "\n");
  EXPECT_TRUE(RunOnlineJob({kJob, file.c_str(), "local"})) << console.Output();
  EXPECT_TRUE(Printed("Signature check success (publisher key publisher.pub.pem).\r\n"));
  EXPECT_TRUE(board.WaitForFpgaImages(1));
  EXPECT_TRUE(server.Targets().empty());
  board.ClearReceived();

  // Altered after signing: refused, and the user's file stays where it was.
  std::string altered = image;
  altered[0] ^= 0x40;
  WriteFile(file, altered);
  console.ClearOutput();
  EXPECT_FALSE(RunOnlineJob({kJob, file.c_str(), "local"}));
  EXPECT_TRUE(
      Printed(file + " (as " + kPath + ") is not signed by a trusted publisher: the trusted key"))
      << console.Output();
  EXPECT_TRUE(Printed("; nothing was sent to the machine.\r\n"));
  EXPECT_TRUE(board.Received().empty());
  EXPECT_EQ(ReadFile(file), altered);

  // No signature beside it: said, and the engineer's choice goes on.
  fs::remove(file + ".sig");
  console.ClearOutput();
  EXPECT_TRUE(RunOnlineJob({kJob, file.c_str(), "local"})) << console.Output();
  EXPECT_TRUE(Printed("No signature beside " + file + " (" + file +
                      ".sig): its publisher is not checked.\r\n"))
      << console.Output();

  // No key and no signature: the local job as it always was; a signature
  // with no key to check it gets its one line.
  TempDir empty;
  ScopedEnv noKeys("PUPDATE_TRUSTED_KEYS", empty.path().string());
  console.ClearOutput();
  EXPECT_TRUE(RunOnlineJob({kJob, file.c_str(), "local"})) << console.Output();
  EXPECT_EQ(console.Output().find("ublisher"), std::string::npos) << console.Output();
  WriteFile(file + ".sig", "anything\n");
  console.ClearOutput();
  EXPECT_TRUE(RunOnlineJob({kJob, file.c_str(), "local"})) << console.Output();
  EXPECT_TRUE(Printed("\r\nPublisher of " + kPath +
                      " not checked: no trusted publisher key is installed (no *.pem in " +
                      empty.path().string() + ").\r\n"))
      << console.Output();
}

// The decoders that stand between BCrypt and the DER that openssl writes.
TEST(SignatureEncoding, DecodesWhatOpensslWrites) {
  TempDir dir;
  const OpenSslKeyPair key = MakeOpenSslKey(dir.path(), "k");
  // The public point as openssl prints it ("pub:" then hex pairs).
  const std::string text =
      RunPeer("openssl", {"ec", "-pubin", "-in", key.publicKey, "-text", "-noout"}).output;
  std::string hex;
  const size_t pub = text.find("pub:");
  const size_t asn1 = text.find("ASN1 OID");
  ASSERT_NE(pub, std::string::npos) << text;
  for (char c : text.substr(pub + 4, asn1 - pub - 4)) {
    if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
  }
  const auto der = PemBlock(ReadFile(key.publicKey), "PUBLIC KEY");
  ASSERT_TRUE(der);
  const auto point = P256PointOfPublicKeyInfo(*der);
  ASSERT_TRUE(point);
  std::transform(hex.begin(), hex.end(), hex.begin(), ::toupper);
  EXPECT_EQ("04" + UpperHex(point->data(), point->size()), hex);

  // r and s as openssl's parser reads them, whatever their DER lengths.
  for (int i = 0; i < 8; ++i) {
    const std::string signature =
        *DecodeBase64(OpenSslSign(key.privateKey, "message " + std::to_string(i)));
    WriteFile(dir / "sig.der", signature);
    const std::string parsed =
        RunPeer("openssl", {"asn1parse", "-inform", "DER", "-in", dir / "sig.der"}).output;
    std::vector<std::string> integers;
    for (size_t at = parsed.find("INTEGER"); at != std::string::npos;
         at = parsed.find("INTEGER", at + 1)) {
      const size_t colon = parsed.find(':', at);
      integers.push_back(parsed.substr(colon + 1, parsed.find('\n', colon) - colon - 1));
    }
    ASSERT_EQ(integers.size(), 2u) << parsed;
    const auto raw = RawP256Signature(signature);
    ASSERT_TRUE(raw);
    for (int half = 0; half < 2; ++half) {
      std::string value = integers[half];
      value.insert(0, 64 - value.size(), '0');
      EXPECT_EQ(UpperHex(raw->data() + half * 32, 32), value);
    }
  }
  EXPECT_FALSE(DecodeBase64("QQ=A"));
  EXPECT_FALSE(DecodeBase64("QQ"));
  EXPECT_EQ(DecodeBase64("QUI="), "AB");
  EXPECT_FALSE(RawP256Signature(std::string("\x30\x06\x02\x01\x01\x02\x01\x01\x00", 9)));
  EXPECT_FALSE(RawP256Signature(std::string("\x30\x06\x02\x01\x81\x02\x01\x01", 8)));
}
