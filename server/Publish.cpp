#include "Publish.h"

#include <fstream>
#include <system_error>
#include <vector>

#include "FileDigests.h"
#include "ServerTree.h"

namespace fs = std::filesystem;

namespace {
bool WriteText(const fs::path& path, const std::string& text, std::string& error) {
  std::error_code ignored;
  fs::create_directories(path.parent_path(), ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) error = "cannot write " + path.string();
  return static_cast<bool>(out);
}

// A hard link when the two folders share a file system, else a copy.
bool PlaceFile(const fs::path& from, const fs::path& to, std::string& error) {
  std::error_code code;
  fs::create_directories(to.parent_path(), code);
  fs::create_hard_link(from, to, code);
  if (code) {
    code.clear();
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, code);
  }
  if (code) error = "cannot copy " + from.string() + " to " + to.string() + ": " + code.message();
  return !code;
}

// nginx hands query values on undecoded: the lists and digests are stored
// under a path as clients send it, every byte other than letters, digits,
// '/' and "-._~!$'()*,;:=@" as %XX with upper-case digits.
std::string AsSentInAQuery(const std::string& path) {
  static const std::string kKept = "-._~/!$'()*,;:=@";
  std::string sent;
  for (unsigned char c : path) {
    const bool alphanumeric =
        (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (alphanumeric || kKept.find(static_cast<char>(c)) != std::string::npos) {
      sent += static_cast<char>(c);
    } else {
      static const char kDigits[] = "0123456789ABCDEF";
      sent += {'%', kDigits[c >> 4], kDigits[c & 15]};
    }
  }
  return sent;
}

bool IsHidden(const fs::path& relative) {
  for (const fs::path& piece : relative) {
    if (!piece.empty() && piece.string()[0] == '.') return true;
  }
  return false;
}
}  // namespace

bool PublishTree(const fs::path& tree, const fs::path& out,
                 const std::shared_ptr<const PublisherKey>& key, std::string& error) {
  std::error_code code;
  if (!fs::is_directory(tree, code)) {
    error = "not a folder: " + tree.string();
    return false;
  }
  const ServerTree server(tree);
  for (const char* owned : {"files", "lists", "md5", "sig"}) {
    fs::remove_all(out / owned, code);
    if (code) {
      error = "cannot clear " + (out / owned).string() + ": " + code.message();
      return false;
    }
  }
  fs::create_directories(out / "files", code);
  fs::create_directories(out / "lists", code);
  fs::create_directories(out / "md5", code);

  for (auto it = fs::recursive_directory_iterator(tree, code); !code && it != fs::end(it);
       it.increment(code)) {
    const fs::path relative = fs::relative(it->path(), tree);
    if (IsHidden(relative)) {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    const std::string name = relative.generic_string();
    if (it->is_directory()) {
      for (bool standard : {true, false}) {
        const auto reply = server.ListReply(name, standard);
        if (!reply) continue;  // a link that leads outside the tree
        if (!WriteText(out / "lists" / AsSentInAQuery(name) /
                           (standard ? "filelist.txt" : "filelistx.txt"),
                       *reply, error)) {
          return false;
        }
      }
    } else if (const auto file = server.QueriedFile(name)) {
      const auto digests = DigestsOfFile(file->path);
      if (!digests) {
        error = "cannot read " + file->path.string();
        return false;
      }
      if (!WriteText(out / "md5" / (AsSentInAQuery(name) + ".md5"), digests->md5, error))
        return false;
      if (key) {
        const auto signature = key->Sign(SignedText(file->name, digests->sha256));
        if (!signature) {
          error = "cannot sign " + file->path.string();
          return false;
        }
        if (!WriteText(out / "sig" / (AsSentInAQuery(name) + ".sig"), *signature, error))
          return false;
      }
      if (!PlaceFile(file->path, out / "files" / relative, error)) return false;
    }
  }
  if (code) {
    error = "cannot read " + tree.string() + ": " + code.message();
    return false;
  }
  return true;
}
