#include "net/ServerFiles.h"
#include "net/win32/BCryptHash.h"

namespace pellux {

std::string Md5OfFile(const std::string& path) {
  return FileDigestHex(path, BCRYPT_MD5_ALGORITHM);
}

}  // namespace pellux
