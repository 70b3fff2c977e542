#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace pellux {

// Publisher keys and signatures handled by the openssl program, so that the
// server's format is checked by a tool that shares no code with it.
struct OpenSslKeyPair {
  std::string privateKey;  // PEM private key
  std::string publicKey;   // PEM SubjectPublicKeyInfo
};

// A new key pair at <folder>/<name>.pem and <folder>/<name>.pub.pem; `curve`
// as openssl names it (P-256, P-384).
OpenSslKeyPair MakeOpenSslKey(const std::filesystem::path& folder, const std::string& name,
                              const std::string& curve = "P-256");

// The publisher's signed text for `path` and a file's bytes, built here from
// the SHA-256 that sha256sum computes.
std::string SignedTextBySha256sum(const std::string& path, const std::string& file);

// The base64 (one line, no line feed) of `openssl dgst -sha256 -sign`'s
// signature of exactly `text` by `privateKey`.
std::string OpenSslSign(const std::string& privateKey, const std::string& text);

// Success when `base64` (a filesig.php reply) is a signature by `publicKey`
// over the signed text of `path` and `file`, as `openssl dgst -verify` judges.
::testing::AssertionResult OpenSslVerifies(const std::string& publicKey, const std::string& path,
                                           const std::string& file, const std::string& base64);

}  // namespace pellux
