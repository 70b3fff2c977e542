#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

// The folder tree an update server offers: machlist.txt at the root, data
// files under <KEY>/<MODE>/, the ETC folder at the root. Names beginning with
// '.' are the server's own (list order files) and are never offered, and no
// relative path given by a client leads outside the root.
class ServerTree {
 public:
  explicit ServerTree(std::filesystem::path root);

  const std::filesystem::path& Root() const { return root_; }

  // The regular file a client's relative path names ("//NR2/FIRMWARE/a.hex",
  // "./ETC/x"), or nothing when it is missing, hidden or outside the tree.
  std::optional<std::filesystem::path> File(const std::string& relative) const;

  // The folder a list request names ("NR2/FIRMWARE", "./ETC").
  std::optional<std::filesystem::path> Folder(const std::string& relative) const;

  // The list reply of a folder named relative to the root (never absolute):
  // "FileList" and one name per line, each ended by a line feed. Order from
  // the folder's order file (".filelist", or ".filelistx" for the alternative
  // list, falling back to ".filelist"), else newest first.
  std::optional<std::string> ListReply(const std::string& relative, bool standardList) const;

  // A data file named by a query value (relative to the root, never
  // absolute): where it lies, and the name it is offered and signed under,
  // its path from the root with "." and empty pieces dropped ("./ETC/x" and
  // "ETC//x" are "ETC/x").
  struct DataFile {
    std::filesystem::path path;
    std::string name;
  };
  std::optional<DataFile> QueriedFile(const std::string& relative) const;
  // The name alone, without looking at the tree: nothing for a value that
  // names no data file (absolute, empty, a hidden or a parent piece).
  static std::optional<std::string> QueriedName(const std::string& relative);

  // Names of a folder in list order (without the header).
  static std::vector<std::string> ListedNames(const std::filesystem::path& folder,
                                              bool standardList);

 private:
  // A client's relative path with "." and empty pieces dropped; nothing when
  // a piece is hidden, a parent step or holds a backslash or control byte.
  static std::optional<std::string> PlainPath(const std::string& relative);
  std::optional<std::filesystem::path> Resolve(const std::string& relative) const;

  struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const Identity&) const = default;
  };
  static std::optional<Identity> IdentityOf(const std::filesystem::path& path);

  std::filesystem::path root_;
  // Paths found inside the tree, by plain path: what they led to then.
  mutable std::shared_mutex checkedMutex_;
  mutable std::unordered_map<std::string, Identity> checked_;
};
