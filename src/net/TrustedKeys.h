#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pellux {

// The publisher keys this installation trusts: every P-256 public key (PEM,
// "BEGIN PUBLIC KEY", a file named *.pem) in the trusted-key folders. Any of them may sign.
struct TrustedKey {
  std::string name;  // the key file's name, to say which key signed
  std::string pem;
};

struct TrustedKeys {
  std::vector<std::filesystem::path> folders;  // where they were looked for
  std::vector<TrustedKey> keys;
  std::vector<std::filesystem::path> ignored;  // *.pem files there that hold no usable key
  // Folders and key files that are there but cannot be read ("<path>:
  // <reason>"): the keys meant to be trusted are unknown.
  std::vector<std::string> unreadable;
};

// The folders: PUPDATE_TRUSTED_KEYS when set, else the platform's own
// (DefaultTrustedKeyFolders).
std::vector<std::filesystem::path> TrustedKeyFolders();

// /etc/pelluxupdate/keys and <prefix>/share/pelluxupdate/keys on POSIX, the
// "keys" folder beside the program on Windows. Implemented by the backend.
std::vector<std::filesystem::path> DefaultTrustedKeyFolders();

// Reads the key files (*.pem) of `folders` in name order; a folder that does
// not exist holds none. Other and hidden files are passed over.
TrustedKeys LoadTrustedKeys(const std::vector<std::filesystem::path>& folders);

// A path as UTF-8 text, whatever the system's code page.
std::string PathText(const std::filesystem::path& path);

// The folders as one text for a message: "a, b".
std::string FolderList(const std::vector<std::filesystem::path>& folders);

}  // namespace pellux
