#include "net/SignatureCrypto.h"

#include <openssl/bio.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/pem.h>

#include <memory>

#include "net/posix/FileDigest.h"

namespace pellux {

namespace {
struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct DigestContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;

// The key of a "BEGIN PUBLIC KEY" block, only when it is an EC key on P-256.
Key ReadP256Key(const std::string& pem) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) return nullptr;
  Key key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
  if (!key || EVP_PKEY_base_id(key.get()) != EVP_PKEY_EC) return nullptr;
  char curve[64] = {};
  size_t length = 0;
  if (EVP_PKEY_get_utf8_string_param(key.get(), "group", curve, sizeof curve, &length) != 1 ||
      OBJ_txt2nid(curve) != NID_X9_62_prime256v1) {
    return nullptr;
  }
  return key;
}
}  // namespace

std::string Sha256OfFile(const std::string& path) {
  return FileDigestHex(path, EVP_sha256());
}

bool IsP256PublicKey(const std::string& pem) {
  return ReadP256Key(pem) != nullptr;
}

bool VerifyP256Signature(const std::string& pem, std::string_view message,
                         std::string_view derSignature) {
  const Key key = ReadP256Key(pem);
  if (!key) return false;
  std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
  if (!context ||
      EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1) {
    return false;
  }
  return EVP_DigestVerify(
             context.get(), reinterpret_cast<const unsigned char*>(derSignature.data()),
             derSignature.size(), reinterpret_cast<const unsigned char*>(message.data()),
             message.size()) == 1;
}

}  // namespace pellux
