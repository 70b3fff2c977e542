#include "net/ServerFiles.h"
#include "net/posix/FileDigest.h"

namespace pellux {

std::string Md5OfFile(const std::string& path) {
  return FileDigestHex(path, EVP_md5());
}

}  // namespace pellux
