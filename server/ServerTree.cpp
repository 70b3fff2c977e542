#include "ServerTree.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <system_error>

namespace fs = std::filesystem;

namespace {
// A tree has a few hundred paths; more means names that come and go.
constexpr size_t kMostChecked = 65536;

// A path piece a client may use: no parent step, nothing hidden, no
// backslash (another system's separator) and no control byte.
bool IsPlainPiece(const std::string& piece) {
  if (piece.empty() || piece[0] == '.') return false;
  for (unsigned char c : piece) {
    if (c == '\\' || c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

bool IsInside(const fs::path& inner, const fs::path& outer) {
  auto [outerEnd, innerAt] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
  return outerEnd == outer.end();
}
}  // namespace

ServerTree::ServerTree(fs::path root) : root_(std::move(root)) {}

std::optional<std::string> ServerTree::PlainPath(const std::string& relative) {
  std::string path;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string piece = relative.substr(start, end - start);
    start = end + 1;
    if (piece.empty() || piece == ".") continue;  // "//KEY/..." and "./ETC"
    if (!IsPlainPiece(piece)) return std::nullopt;
    path += (path.empty() ? "" : "/") + piece;
  }
  return path;
}

std::optional<ServerTree::Identity> ServerTree::IdentityOf(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return Identity{.device = info.st_dev, .inode = info.st_ino};
}

std::optional<fs::path> ServerTree::Resolve(const std::string& relative) const {
  const auto plain = PlainPath(relative);
  if (!plain) return std::nullopt;
  const fs::path result = plain->empty() ? root_ : root_ / *plain;
  // Checking the links takes a look per piece of the path; a path that
  // still leads to the very file or folder it led to when it was checked
  // needs one look (whatever path reaches it, it is the one that passed).
  const auto identity = IdentityOf(result);
  if (identity) {
    std::shared_lock lock(checkedMutex_);
    const auto found = checked_.find(*plain);
    if (found != checked_.end() && found->second == *identity) return result;
  }
  // Links inside the tree must not lead out of it either.
  std::error_code error;
  const fs::path realRoot = fs::canonical(root_, error);
  if (error) return std::nullopt;
  const fs::path real = fs::weakly_canonical(result, error);
  if (error || !IsInside(real, realRoot)) return std::nullopt;
  if (identity && IdentityOf(real) == identity) {
    std::unique_lock lock(checkedMutex_);
    if (checked_.size() >= kMostChecked) checked_.clear();
    checked_.insert_or_assign(*plain, *identity);
  }
  return real;
}

std::optional<fs::path> ServerTree::File(const std::string& relative) const {
  auto path = Resolve(relative);
  std::error_code error;
  if (!path || !fs::is_regular_file(*path, error)) return std::nullopt;
  return path;
}

std::optional<fs::path> ServerTree::Folder(const std::string& relative) const {
  auto path = Resolve(relative);
  std::error_code error;
  if (!path || !fs::is_directory(*path, error)) return std::nullopt;
  return path;
}

std::vector<std::string> ServerTree::ListedNames(const fs::path& folder, bool standardList) {
  std::vector<std::string> names;
  std::ifstream order;
  if (!standardList) order.open(folder / ".filelistx");
  if (!order.is_open()) order.open(folder / ".filelist");
  if (order.is_open()) {
    std::string line;
    while (std::getline(order, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty() || line[0] == '.') continue;
      names.push_back(line);
    }
    return names;
  }

  struct Entry {
    fs::file_time_type time;
    std::string name;
  };
  std::vector<Entry> entries;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    std::string name = entry.path().filename().string();
    std::error_code ignored;
    if (name.empty() || name[0] == '.' || !entry.is_regular_file(ignored)) continue;
    entries.push_back({entry.last_write_time(ignored), std::move(name)});
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.time != b.time ? a.time > b.time : a.name < b.name;
  });
  for (Entry& entry : entries) names.push_back(std::move(entry.name));
  return names;
}

namespace {
// Query values name paths relative to the root: never absolute, never empty.
bool IsRelativeQueryPath(const std::string& relative) {
  return !relative.empty() && relative[0] != '/';
}
}  // namespace

std::optional<std::string> ServerTree::ListReply(const std::string& relative,
                                                 bool standardList) const {
  if (!IsRelativeQueryPath(relative)) return std::nullopt;
  const auto folder = Folder(relative);
  if (!folder) return std::nullopt;
  std::string reply = "FileList\n";
  for (const std::string& name : ListedNames(*folder, standardList)) reply += name + "\n";
  return reply;
}

std::optional<std::string> ServerTree::QueriedName(const std::string& relative) {
  if (!IsRelativeQueryPath(relative)) return std::nullopt;
  return PlainPath(relative);
}

std::optional<ServerTree::DataFile> ServerTree::QueriedFile(const std::string& relative) const {
  auto name = QueriedName(relative);
  auto path = name ? Resolve(*name) : std::nullopt;
  std::error_code error;
  if (!path || !fs::is_regular_file(*path, error)) return std::nullopt;
  return DataFile{.path = std::move(*path), .name = std::move(*name)};
}
