#pragma once

#include <string>

#include "TestFiles.h"

namespace pellux {

// A publisher's ECDSA P-256 key pair made by the openssl command line, and
// signatures made with it the way a publisher makes them:
// `openssl dgst -sha256 -sign`, base64 on one line.
class PublisherKey {
 public:
  // Writes the public key to <publicFolder>/<name>.pem; the private key
  // stays in a folder of its own, as a publisher keeps it.
  PublisherKey(const std::string& publicFolder, const std::string& name);

  const std::string& privatePath() const { return private_; }
  const std::string& publicPath() const { return public_; }
  // The public key in PEM.
  std::string PublicPem() const;

  // The base64 DER signature of the signed text of `content` at `serverPath`.
  std::string SignContent(const std::string& serverPath, const std::string& content) const;
  // The base64 DER signature of exactly `text`.
  std::string Sign(const std::string& text) const;

 private:
  TempDir secret_;
  std::string private_;
  std::string public_;
};

// The text a publisher signs, written out here from its definition:
// "PelluxUpdate signature 1\n<path>\n<sha256 hex>\n".
std::string PublisherSignedText(const std::string& serverPath, const std::string& content);

// Digests by the openssl command line, lower-case hex.
std::string OpensslDigest(const std::string& algorithm, const std::string& content);

}  // namespace pellux
