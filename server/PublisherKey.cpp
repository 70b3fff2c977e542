#include "PublisherKey.h"

#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace fs = std::filesystem;

namespace {
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioFree>;
struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// OpenSSL's reason for the last failure, for an error line.
std::string OpenSslReason() {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "unknown reason";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

bool IsP256(EVP_PKEY* key) {
  if (!EVP_PKEY_is_a(key, "EC")) return false;
  char group[64] = {};
  size_t length = 0;
  if (EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                     &length) != 1) {
    return false;
  }
  const std::string name(group, length);
  return name == "prime256v1" || name == "P-256";
}

// A new file only (never an existing one), with exactly `mode`.
Bio CreateNewFile(const fs::path& path, mode_t mode, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    error = errno == EEXIST ? path.string() + " exists already; choose another name"
                            : "cannot create " + path.string() + ": " + std::strerror(errno);
    return nullptr;
  }
  ::fchmod(fd, mode);  // the umask may have taken bits away
  Bio bio(BIO_new_fd(fd, BIO_CLOSE));
  if (!bio) {
    ::close(fd);
    error = "cannot write " + path.string();
  }
  return bio;
}
}  // namespace

void PublisherKey::KeyFree::operator()(EVP_PKEY* key) const {
  EVP_PKEY_free(key);
}

std::string SignedText(const std::string& path, const std::string& sha256Hex) {
  return "PelluxUpdate signature 1\n" + path + "\n" + sha256Hex + "\n";
}

std::shared_ptr<const PublisherKey> PublisherKey::Load(const fs::path& pem, std::string& error) {
  Bio bio(BIO_new_file(pem.c_str(), "rb"));
  if (!bio) {
    ERR_clear_error();
    error = "cannot read the signing key " + pem.string();
    return nullptr;
  }
  std::unique_ptr<EVP_PKEY, KeyFree> key(
      PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  if (!key || !IsP256(key.get())) {
    ERR_clear_error();
    error = pem.string() +
            " is not an ECDSA P-256 private key in PEM (make one with pupdate-server --make-key)";
    return nullptr;
  }
  return std::make_shared<const PublisherKey>(std::move(key));
}

std::optional<std::string> PublisherKey::Sign(const std::string& text) const {
  std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
  size_t length = 0;
  if (!context ||
      EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key_.get()) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &length,
                     reinterpret_cast<const unsigned char*>(text.data()), text.size()) != 1) {
    ERR_clear_error();
    return std::nullopt;
  }
  std::vector<unsigned char> der(length);
  if (EVP_DigestSign(context.get(), der.data(), &length,
                     reinterpret_cast<const unsigned char*>(text.data()), text.size()) != 1) {
    ERR_clear_error();
    return std::nullopt;
  }
  std::string base64(4 * ((length + 2) / 3) + 1, '\0');
  const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(base64.data()), der.data(),
                                      static_cast<int>(length));
  base64.resize(static_cast<size_t>(written));
  return base64;
}

KeyPairFiles KeyPairFilesOf(const std::string& name) {
  return {.privateKey = name + ".key", .publicKey = name + ".pub.pem"};
}

bool MakeKeyPair(const std::string& name, std::string& error) {
  const KeyPairFiles files = KeyPairFilesOf(name);
  std::error_code ignored;
  for (const fs::path& path : {files.privateKey, files.publicKey}) {
    if (fs::exists(fs::symlink_status(path, ignored))) {
      error = path.string() + " exists already; choose another name";
      return false;
    }
  }
  std::unique_ptr<EVP_PKEY, PublisherKey::KeyFree> key(EVP_EC_gen("P-256"));
  if (!key) {
    error = "cannot make a key: " + OpenSslReason();
    return false;
  }
  {
    Bio out = CreateNewFile(files.privateKey, 0600, error);
    if (!out) return false;
    if (PEM_write_bio_PrivateKey(out.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
            1 ||
        BIO_flush(out.get()) != 1) {
      error = "cannot write " + files.privateKey.string() + ": " + OpenSslReason();
      out.reset();
      fs::remove(files.privateKey, ignored);
      return false;
    }
  }
  Bio out = CreateNewFile(files.publicKey, 0644, error);
  if (!out || PEM_write_bio_PUBKEY(out.get(), key.get()) != 1 || BIO_flush(out.get()) != 1) {
    if (out) error = "cannot write " + files.publicKey.string() + ": " + OpenSslReason();
    const bool madePublic = static_cast<bool>(out);
    out.reset();
    if (madePublic) fs::remove(files.publicKey, ignored);
    fs::remove(files.privateKey, ignored);
    return false;
  }
  return true;
}
