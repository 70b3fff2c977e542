#pragma once

#include <string>

#include "net/TrustedKeys.h"

namespace pellux {

class CancelToken;
class JobConsole;

// What a publisher signs for a data file at server path <KEY>/<MODE>/<file>.
std::string SignedText(const std::string& serverPath, const std::string& sha256Hex);

// Empty when one of `trusted` verifies `signatureText` (base64 of a DER
// ECDSA signature, on one line) over the signed text of `localFile` at
// `serverPath`, and sets `signer` to that key's name; else says why not.
std::string SignatureProblem(const TrustedKeys& trusted, const std::string& localFile,
                             const std::string& serverPath, const std::string& signatureText,
                             std::string& signer);

// The publisher check of a downloaded file: with trusted keys, fetches its
// signature from `signatureUrl` and verifies it; true when it may be used.
// Without trusted keys it says that the publisher was not checked and is
// true. A refusal is one line; the caller removes the file.
bool CheckServerSignature(const std::string& localFile, const std::string& serverPath,
                          const std::string& signatureUrl, const CancelToken& cancel,
                          JobConsole& console);

// The same for a file from disk, whose signature may lie beside it as
// <file>.sig; a file without one is used, with a line that says so when
// keys are installed. Without keys and without a .sig nothing is said.
bool CheckLocalSignature(const std::string& localFile, const std::string& serverPath,
                         JobConsole& console);

}  // namespace pellux
