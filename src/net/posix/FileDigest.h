#pragma once

#include <openssl/evp.h>

#include <string>

namespace pellux {

// The digest of a file's bytes as lower-case hex; empty when it cannot be read.
std::string FileDigestHex(const std::string& path, const EVP_MD* algorithm);

}  // namespace pellux
