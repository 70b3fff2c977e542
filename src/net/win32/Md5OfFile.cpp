#include <windows.h>

// After windows.h, which it needs.
#include <bcrypt.h>

#include <cstdio>
#include <memory>

#include "base/FileHandle.h"
#include "net/ServerFiles.h"
#include "net/win32/WideText.h"

namespace pellux {

namespace {

class Md5Hash {
 public:
  Md5Hash() {
    if (BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_MD5_ALGORITHM, nullptr, 0) < 0) {
      algorithm_ = nullptr;
      return;
    }
    if (BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0) < 0) hash_ = nullptr;
  }
  ~Md5Hash() {
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  Md5Hash(const Md5Hash&) = delete;
  Md5Hash& operator=(const Md5Hash&) = delete;

  bool ready() const { return hash_ != nullptr; }
  bool Add(unsigned char* data, size_t size) {
    return BCryptHashData(hash_, data, static_cast<ULONG>(size), 0) >= 0;
  }
  bool Finish(unsigned char (&digest)[16]) {
    return BCryptFinishHash(hash_, digest, sizeof digest, 0) >= 0;
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};
}  // namespace

std::string Md5OfFile(const std::string& path) {
  FileHandle file(_wfopen(ToWide(path).c_str(), L"rb"));
  if (!file) return {};
  Md5Hash hash;
  if (!hash.ready()) return {};

  // Streamed: application packages need not fit in memory.
  unsigned char buffer[64 * 1024];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    if (!hash.Add(buffer, got)) return {};
  }
  if (std::ferror(file.get())) return {};

  unsigned char digest[16];
  if (!hash.Finish(digest)) return {};
  std::string text;
  for (unsigned char byte : digest) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    text += pair;
  }
  return text;
}

}  // namespace pellux
