#include "net/SignatureCrypto.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "net/SignatureEncoding.h"
#include "net/win32/BCryptHash.h"

namespace pellux {

namespace {
// An ECDSA P-256 public key imported into BCrypt.
class P256Key {
 public:
  explicit P256Key(const std::array<uint8_t, 64>& point) {
    if (BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) < 0) {
      algorithm_ = nullptr;
      return;
    }
    // BCRYPT_ECCKEY_BLOB, then X and Y.
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + point.size());
    BCRYPT_ECCKEY_BLOB header{.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC, .cbKey = 32};
    std::copy_n(reinterpret_cast<const UCHAR*>(&header), sizeof header, blob.begin());
    std::copy(point.begin(), point.end(), blob.begin() + sizeof header);
    if (BCryptImportKeyPair(algorithm_, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key_, blob.data(),
                            static_cast<ULONG>(blob.size()), 0) < 0) {
      key_ = nullptr;
    }
  }
  ~P256Key() {
    if (key_ != nullptr) BCryptDestroyKey(key_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  P256Key(const P256Key&) = delete;
  P256Key& operator=(const P256Key&) = delete;

  bool ready() const { return key_ != nullptr; }
  bool Verifies(std::string digest, std::array<uint8_t, 64> signature) const {
    return BCryptVerifySignature(key_, nullptr, reinterpret_cast<PUCHAR>(digest.data()),
                                 static_cast<ULONG>(digest.size()), signature.data(),
                                 static_cast<ULONG>(signature.size()), 0) == 0;
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_KEY_HANDLE key_ = nullptr;
};

std::optional<std::array<uint8_t, 64>> PointOf(const std::string& pem) {
  const auto der = PemBlock(pem, "PUBLIC KEY");
  if (!der) return std::nullopt;
  return P256PointOfPublicKeyInfo(*der);
}
}  // namespace

std::string Sha256OfFile(const std::string& path) {
  return FileDigestHex(path, BCRYPT_SHA256_ALGORITHM);
}

bool IsP256PublicKey(const std::string& pem) {
  const auto point = PointOf(pem);
  // BCrypt checks that the point lies on the curve.
  return point && P256Key(*point).ready();
}

bool VerifyP256Signature(const std::string& pem, std::string_view message,
                         std::string_view derSignature) {
  const auto point = PointOf(pem);
  const auto signature = RawP256Signature(derSignature);
  if (!point || !signature) return false;
  const P256Key key(*point);
  if (!key.ready()) return false;
  BCryptHash hash(BCRYPT_SHA256_ALGORITHM);
  if (!hash.ready() || !hash.Add(message)) return false;
  const std::string digest = hash.Finish();
  return !digest.empty() && key.Verifies(digest, *signature);
}

}  // namespace pellux
