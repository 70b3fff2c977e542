#include "net/PublisherSignature.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "base/Cancellation.h"
#include "base/JobConsole.h"
#include "net/ServerFiles.h"
#include "net/SignatureCrypto.h"
#include "net/SignatureEncoding.h"

namespace pellux {

namespace fs = std::filesystem;

namespace {
// A signature file is one short line; anything far larger is not one.
constexpr std::uintmax_t kMaxSignatureFileSize = 64 * 1024;

// Swallows what the signature request would say: a server without
// filesig.php is told by the one refusal line, not by a fetch error above it.
class QuietConsole : public JobConsole {
 public:
  void Write(std::string_view) override {}
  int ReadKey(const CancelToken&) override { return -1; }
};

// A line for each key file that holds no usable key.
void ReportIgnoredKeys(const TrustedKeys& trusted, JobConsole& console) {
  for (const fs::path& file : trusted.ignored) {
    console.Printf(
        "Trusted key folder: %s is not a P-256 public key (PEM \"BEGIN PUBLIC KEY\"); "
        "ignored.\r\n",
        PrintableServerFileName(PathText(file)).c_str());
  }
}

// Keys that cannot be read are no reason to skip the check they were
// installed for: the job stops with one line.
bool SayUnreadable(const TrustedKeys& trusted, const std::string& shown, JobConsole& console) {
  if (trusted.unreadable.empty()) return false;
  console.Printf(
      "Cannot check the publisher of %s: the trusted keys cannot be read (%s); nothing was sent "
      "to the machine. Make the key folder and its *.pem files readable, or set "
      "PUPDATE_TRUSTED_KEYS to a folder of keys.\r\n",
      PrintableServerFileName(shown).c_str(),
      PrintableServerFileName(trusted.unreadable.front()).c_str());
  return true;
}

void SayNotChecked(const TrustedKeys& trusted, const std::string& serverPath, JobConsole& console) {
  console.Printf(
      "Publisher of %s not checked: no trusted publisher key is installed (no *.pem in %s).\r\n",
      PrintableServerFileName(serverPath).c_str(),
      PrintableServerFileName(FolderList(trusted.folders)).c_str());
}

void SayRefused(const std::string& shown, const std::string& problem, const char* consequence,
                JobConsole& console) {
  console.Printf("%s is not signed by a trusted publisher: %s; %s\r\n",
                 PrintableServerFileName(shown).c_str(), problem.c_str(), consequence);
}

void SayVerified(const std::string& signer, JobConsole& console) {
  console.Printf("Signature check success (publisher key %s).\r\n",
                 PrintableServerFileName(signer).c_str());
}

std::string NoKeyVerifies(const TrustedKeys& trusted) {
  const std::string where = " (" + FolderList(trusted.folders) + ")";
  return trusted.keys.size() == 1 ? "the trusted key" + where + " does not verify its signature"
                                  : "none of the " + std::to_string(trusted.keys.size()) +
                                        " trusted keys" + where + " verifies its signature";
}
}  // namespace

std::string SignedText(const std::string& serverPath, const std::string& sha256Hex) {
  return "PelluxUpdate signature 1\n" + serverPath + "\n" + sha256Hex + "\n";
}

std::string SignatureProblem(const TrustedKeys& trusted, const std::string& localFile,
                             const std::string& serverPath, const std::string& signatureText,
                             std::string& signer) {
  // One line: a line end after it is allowed, nothing else.
  std::string line = signatureText;
  if (line.ends_with("\n")) line.pop_back();
  if (line.ends_with("\r")) line.pop_back();
  const auto der = DecodeBase64(line);
  if (line.empty() || !der || !RawP256Signature(*der)) {
    return "the signature is malformed (not one line of base64 of a DER ECDSA signature)";
  }
  const std::string digest = Sha256OfFile(localFile);
  if (digest.empty()) return "the file cannot be read";
  const std::string text = SignedText(serverPath, digest);
  for (const TrustedKey& key : trusted.keys) {
    if (VerifyP256Signature(key.pem, text, *der)) {
      signer = key.name;
      return {};
    }
  }
  return NoKeyVerifies(trusted) +
         ": the file was altered, signed for another path, or signed by an unknown key";
}

bool CheckServerSignature(const std::string& localFile, const std::string& serverPath,
                          const std::string& signatureUrl, const CancelToken& cancel,
                          JobConsole& console) {
  const TrustedKeys trusted = LoadTrustedKeys(TrustedKeyFolders());
  ReportIgnoredKeys(trusted, console);
  if (SayUnreadable(trusted, serverPath, console)) return false;
  if (trusted.keys.empty()) {
    SayNotChecked(trusted, serverPath, console);
    return true;
  }
  const char* consequence =
      "the downloaded file was deleted and nothing was sent to the machine. Ask the publisher "
      "for a signed file, or check the server address.";
  QuietConsole quiet;
  const std::string signature = FetchText(signatureUrl, cancel, quiet);
  if (cancel.IsCancelled()) return false;
  if (signature.empty()) {
    SayRefused(serverPath,
               "the server sent no signature (no reply, or an error status, from filesig.php)",
               consequence, console);
    return false;
  }
  std::string signer;
  const std::string problem = SignatureProblem(trusted, localFile, serverPath, signature, signer);
  if (!problem.empty()) {
    SayRefused(serverPath, problem, consequence, console);
    return false;
  }
  SayVerified(signer, console);
  return true;
}

bool CheckLocalSignature(const std::string& localFile, const std::string& serverPath,
                         JobConsole& console) {
  const std::string signatureFile = localFile + ".sig";
  std::error_code error;
  const bool signatureBeside = fs::exists(signatureFile, error);
  const TrustedKeys trusted = LoadTrustedKeys(TrustedKeyFolders());
  // Without keys a file from disk is used as it always was; only a
  // signature beside it, which asks for a check, is answered.
  if (trusted.keys.empty() && trusted.unreadable.empty() && !signatureBeside) return true;
  ReportIgnoredKeys(trusted, console);
  if (SayUnreadable(trusted, localFile, console)) return false;
  if (trusted.keys.empty()) {
    SayNotChecked(trusted, serverPath, console);
    return true;
  }
  if (!signatureBeside) {
    console.Printf("No signature beside %s (%s): its publisher is not checked.\r\n",
                   PrintableServerFileName(localFile).c_str(),
                   PrintableServerFileName(signatureFile).c_str());
    return true;
  }
  const char* consequence = "nothing was sent to the machine.";
  std::string signature;
  const std::uintmax_t size = fs::file_size(signatureFile, error);
  if (!error && size <= kMaxSignatureFileSize) {
    std::ifstream in(signatureFile, std::ios::binary);
    signature.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string signer;
  const std::string problem = SignatureProblem(trusted, localFile, serverPath, signature, signer);
  if (!problem.empty()) {
    SayRefused(localFile + " (as " + serverPath + ")", problem, consequence, console);
    return false;
  }
  SayVerified(signer, console);
  return true;
}

}  // namespace pellux
