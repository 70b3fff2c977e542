#pragma once

#include <string>
#include <string_view>

namespace pellux {

// The platform's cryptography for publisher signatures: OpenSSL on POSIX,
// BCrypt on Windows. Implemented by the backend files.

// SHA-256 of a file as 64 lower-case hex digits; empty when it cannot be read.
std::string Sha256OfFile(const std::string& path);

// True when `pem` holds a public key ("BEGIN PUBLIC KEY") of an ECDSA key
// on curve P-256.
bool IsP256PublicKey(const std::string& pem);

// True only when `derSignature` is a valid ECDSA P-256 signature over the
// SHA-256 of `message` by the key in `pem`.
bool VerifyP256Signature(const std::string& pem, std::string_view message,
                         std::string_view derSignature);

}  // namespace pellux
