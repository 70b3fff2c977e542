#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

typedef struct evp_pkey_st EVP_PKEY;

// The text a publisher signs for the data file at server path
// <KEY>/<MODE>/<file> (the FilePath of filemd5.php): binding the path keeps a
// file signed for one machine or mode from passing as another's.
std::string SignedText(const std::string& path, const std::string& sha256Hex);

// A publisher's private key: ECDSA on P-256, signing with SHA-256. Shared
// between the server's threads; signing does not change it.
class PublisherKey {
 public:
  // Reads a PEM private key; nothing (with `error` set) when the file cannot
  // be read or holds another kind of key.
  static std::shared_ptr<const PublisherKey> Load(const std::filesystem::path& pem,
                                                  std::string& error);

  // The base64 (one line, no line feed) of the DER signature of `text`, as
  // `openssl dgst -sha256 -sign` writes it before encoding.
  std::optional<std::string> Sign(const std::string& text) const;

  struct KeyFree {
    void operator()(EVP_PKEY* key) const;
  };
  explicit PublisherKey(std::unique_ptr<EVP_PKEY, KeyFree> key) : key_(std::move(key)) {}

 private:
  std::unique_ptr<EVP_PKEY, KeyFree> key_;
};

// The files MakeKeyPair writes for NAME.
struct KeyPairFiles {
  // NAME.key, PEM, mode 0600: not named *.pem, so that copying the
  // public keys of a folder into a trusted-keys folder never takes it along.
  std::filesystem::path privateKey;
  std::filesystem::path publicKey;  // NAME.pub.pem, SubjectPublicKeyInfo
};
KeyPairFiles KeyPairFilesOf(const std::string& name);

// Makes a new P-256 key pair. Refuses (false, `error` set) when either file
// exists already, so an existing key is never replaced.
bool MakeKeyPair(const std::string& name, std::string& error);
