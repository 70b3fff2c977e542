#include "FileDigests.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>

namespace {
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;

std::optional<std::string> HexOfFinal(EVP_MD_CTX* context) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context, digest, &length) != 1) return std::nullopt;
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0x0F];
  }
  return hex;
}
}  // namespace

std::optional<FileDigests> DigestsOfFile(const std::filesystem::path& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  Context md5(EVP_MD_CTX_new()), sha256(EVP_MD_CTX_new());
  if (!file || !md5 || !sha256 || EVP_DigestInit_ex(md5.get(), EVP_md5(), nullptr) != 1 ||
      EVP_DigestInit_ex(sha256.get(), EVP_sha256(), nullptr) != 1) {
    return std::nullopt;
  }
  unsigned char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    if (EVP_DigestUpdate(md5.get(), buffer, got) != 1 ||
        EVP_DigestUpdate(sha256.get(), buffer, got) != 1) {
      return std::nullopt;
    }
  }
  if (std::ferror(file.get())) return std::nullopt;
  auto md5Hex = HexOfFinal(md5.get());
  auto sha256Hex = HexOfFinal(sha256.get());
  if (!md5Hex || !sha256Hex) return std::nullopt;
  return FileDigests{.md5 = std::move(*md5Hex), .sha256 = std::move(*sha256Hex)};
}
