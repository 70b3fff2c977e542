#include "net/win32/BCryptHash.h"

#include <cstdio>

#include "base/FileHandle.h"
#include "net/win32/WideText.h"

namespace pellux {

BCryptHash::BCryptHash(LPCWSTR algorithm) {
  if (BCryptOpenAlgorithmProvider(&algorithm_, algorithm, nullptr, 0) < 0) {
    algorithm_ = nullptr;
    return;
  }
  if (BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0) < 0) hash_ = nullptr;
}

BCryptHash::~BCryptHash() {
  if (hash_ != nullptr) BCryptDestroyHash(hash_);
  if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
}

bool BCryptHash::Add(std::string_view bytes) {
  return BCryptHashData(hash_, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                        static_cast<ULONG>(bytes.size()), 0) >= 0;
}

std::string BCryptHash::Finish() {
  DWORD length = 0;
  ULONG got = 0;
  if (BCryptGetProperty(algorithm_, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length),
                        sizeof length, &got, 0) < 0) {
    return {};
  }
  std::string digest(length, '\0');
  if (BCryptFinishHash(hash_, reinterpret_cast<PUCHAR>(digest.data()), length, 0) < 0) return {};
  return digest;
}

std::string FileDigestHex(const std::string& path, LPCWSTR algorithm) {
  FileHandle file(_wfopen(ToWide(path).c_str(), L"rb"));
  if (!file) return {};
  BCryptHash hash(algorithm);
  if (!hash.ready()) return {};

  // Streamed: application packages need not fit in memory.
  char buffer[64 * 1024];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    if (!hash.Add(std::string_view(buffer, got))) return {};
  }
  if (std::ferror(file.get())) return {};

  const std::string digest = hash.Finish();
  if (digest.empty()) return {};
  std::string text;
  for (unsigned char byte : digest) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    text += pair;
  }
  return text;
}

}  // namespace pellux
