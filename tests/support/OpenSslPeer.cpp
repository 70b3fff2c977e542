#include "OpenSslPeer.h"

#include "PeerTools.h"
#include "TestFiles.h"

namespace pellux {

namespace fs = std::filesystem;

OpenSslKeyPair MakeOpenSslKey(const fs::path& folder, const std::string& name,
                              const std::string& curve) {
  OpenSslKeyPair pair{.privateKey = (folder / (name + ".pem")).string(),
                      .publicKey = (folder / (name + ".pub.pem")).string()};
  const PeerResult made =
      RunPeer("openssl", {"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:" + curve,
                          "-out", pair.privateKey});
  EXPECT_EQ(made.status, 0) << made.output;
  const PeerResult extracted =
      RunPeer("openssl", {"pkey", "-in", pair.privateKey, "-pubout", "-out", pair.publicKey});
  EXPECT_EQ(extracted.status, 0) << extracted.output;
  return pair;
}

std::string SignedTextBySha256sum(const std::string& path, const std::string& file) {
  const PeerResult sum = RunPeer("sha256sum", {file});
  EXPECT_EQ(sum.status, 0) << sum.output;
  return "PelluxUpdate signature 1\n" + path + "\n" + sum.output.substr(0, 64) + "\n";
}

std::string OpenSslSign(const std::string& privateKey, const std::string& text) {
  TempDir work;
  const std::string message = work / "signed.txt", der = work / "sig.der";
  WriteFile(message, text);
  const PeerResult signature =
      RunPeer("openssl", {"dgst", "-sha256", "-sign", privateKey, "-out", der, message});
  EXPECT_EQ(signature.status, 0) << signature.output;
  PeerResult encoded = RunPeer("openssl", {"base64", "-A", "-in", der});
  EXPECT_EQ(encoded.status, 0) << encoded.output;
  while (!encoded.output.empty() && encoded.output.back() == '\n') encoded.output.pop_back();
  return encoded.output;
}

::testing::AssertionResult OpenSslVerifies(const std::string& publicKey, const std::string& path,
                                           const std::string& file, const std::string& base64) {
  TempDir work;
  const std::string text = work / "signed.txt", encoded = work / "sig.b64", der = work / "sig.der";
  WriteFile(text, SignedTextBySha256sum(path, file));
  WriteFile(encoded, base64 + "\n");
  const PeerResult decoded =
      RunPeer("openssl", {"base64", "-d", "-A", "-in", encoded, "-out", der});
  if (decoded.status != 0 || fs::file_size(der) == 0) {
    return ::testing::AssertionFailure() << "not base64: '" << base64 << "' " << decoded.output;
  }
  const PeerResult verified =
      RunPeer("openssl", {"dgst", "-sha256", "-verify", publicKey, "-signature", der, text});
  if (verified.status == 0 && verified.output.find("Verified OK") != std::string::npos) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "openssl does not verify the signature of " << path << ": " << verified.output;
}

}  // namespace pellux
