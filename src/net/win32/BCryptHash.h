#pragma once

#include <windows.h>

// After windows.h, which it needs.
#include <bcrypt.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace pellux {

// One BCrypt hash computation (BCRYPT_MD5_ALGORITHM, BCRYPT_SHA256_ALGORITHM, ...).
class BCryptHash {
 public:
  explicit BCryptHash(LPCWSTR algorithm);
  ~BCryptHash();
  BCryptHash(const BCryptHash&) = delete;
  BCryptHash& operator=(const BCryptHash&) = delete;

  bool ready() const { return hash_ != nullptr; }
  bool Add(std::string_view bytes);
  // The digest bytes; empty on failure.
  std::string Finish();

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

// The digest of a file's bytes as lower-case hex; empty when it cannot be read.
std::string FileDigestHex(const std::string& path, LPCWSTR algorithm);

}  // namespace pellux
