#include "net/TrustedKeys.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#include "net/SignatureCrypto.h"

namespace pellux {

namespace fs = std::filesystem;

namespace {
constexpr std::uintmax_t kMaxKeyFileSize = 64 * 1024;

// The key files of a folder in name order. A folder that is not there holds
// none; one that cannot be read is a problem, never an empty folder.
std::vector<fs::path> FilesOf(const fs::path& folder, std::vector<std::string>& problems) {
  std::vector<fs::path> files;
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) {
    if (error != std::errc::no_such_file_or_directory) {
      problems.push_back(PathText(folder) + ": " + error.message());
    }
    return files;
  }
  for (fs::directory_iterator end; it != end; it.increment(error)) {
    const fs::path& path = it->path();
    std::error_code kindError;
    // Keys are *.pem; a note or a README beside them is no key.
    if (PathText(path.filename()).starts_with(".") || path.extension() != ".pem" ||
        !fs::is_regular_file(path, kindError)) {
      continue;
    }
    files.push_back(path);
  }
  if (error) problems.push_back(PathText(folder) + ": " + error.message());
  std::sort(files.begin(), files.end());
  return files;
}

// False (with `problem` set) when the file cannot be read at all.
bool ReadKeyFile(const fs::path& path, std::string& text, std::string& problem) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) {
    problem = PathText(path) + ": " + error.message();
    return false;
  }
  // A public key is a few hundred bytes; anything much larger is not one.
  if (size > kMaxKeyFileSize) return true;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    problem = PathText(path) + ": cannot be opened";
    return false;
  }
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    problem = PathText(path) + ": read error";
    return false;
  }
  return true;
}
}  // namespace

std::vector<fs::path> TrustedKeyFolders() {
  const char* chosen = std::getenv("PUPDATE_TRUSTED_KEYS");
  if (chosen != nullptr && chosen[0] != '\0') return {fs::path(chosen)};
  return DefaultTrustedKeyFolders();
}

TrustedKeys LoadTrustedKeys(const std::vector<fs::path>& folders) {
  TrustedKeys trusted;
  trusted.folders = folders;
  for (const fs::path& folder : folders) {
    for (const fs::path& file : FilesOf(folder, trusted.unreadable)) {
      std::string pem, problem;
      if (!ReadKeyFile(file, pem, problem)) {
        trusted.unreadable.push_back(problem);
      } else if (IsP256PublicKey(pem)) {
        trusted.keys.push_back({.name = PathText(file.filename()), .pem = std::move(pem)});
      } else {
        trusted.ignored.push_back(file);
      }
    }
  }
  return trusted;
}

std::string PathText(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string FolderList(const std::vector<fs::path>& folders) {
  std::string text;
  for (const fs::path& folder : folders) {
    if (!text.empty()) text += ", ";
    text += PathText(folder);
  }
  return text;
}

}  // namespace pellux
