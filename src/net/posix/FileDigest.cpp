#include "net/posix/FileDigest.h"

#include <cstdio>
#include <memory>

#include "base/FileHandle.h"

namespace pellux {

namespace {
struct DigestContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
}  // namespace

std::string FileDigestHex(const std::string& path, const EVP_MD* algorithm) {
  FileHandle file = OpenFile(path, "rb");
  if (!file) return {};
  std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), algorithm, nullptr) != 1) return {};

  // Streamed: application packages need not fit in memory.
  unsigned char buffer[64 * 1024];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    if (EVP_DigestUpdate(context.get(), buffer, got) != 1) return {};
  }
  if (std::ferror(file.get())) return {};

  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return {};
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    text += pair;
  }
  return text;
}

}  // namespace pellux
