#include "jobs/ZipArchive.h"

#include <system_error>

#include "base/Cancellation.h"
#include "jobs/ExtractedFile.h"
#include "jobs/ZipItemData.h"

namespace pellux {

namespace fs = std::filesystem;

namespace {
constexpr size_t kLongestLinkTarget = 4096;

// Makes room for a new file or link: an old file of the same name goes, a folder stays.
bool ClearTarget(const fs::path& target, std::string& error) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(target, ec);
  if (!fs::exists(status)) return true;
  if (fs::is_directory(status)) {
    error = "a folder of that name is in the way";
    return false;
  }
  if (!fs::remove(target, ec)) {
    error = "the existing file cannot be replaced: " + ec.message();
    return false;
  }
  return true;
}

bool MakeParent(const fs::path& target, std::string& error) {
  std::error_code ec;
  const fs::path parent = target.parent_path();
  fs::create_directories(parent, ec);
  if (!fs::is_directory(parent)) {
    error = "its folder cannot be created" + (ec ? ": " + ec.message() : std::string());
    return false;
  }
  return true;
}

// A link target that cannot reach outside the folder that holds the link's
// tree: relative and never stepping up.
bool StaysInside(const std::string& target) {
  if (target.empty() || target.find('\0') != std::string::npos) return false;
  if (target[0] == '/' || target[0] == '\\' || (target.size() >= 2 && target[1] == ':')) {
    return false;
  }
  size_t start = 0;
  while (start <= target.size()) {
    size_t end = target.find_first_of("/\\", start);
    if (end == std::string::npos) end = target.size();
    if (target.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}
}  // namespace

ZipArchive::ZipArchive() = default;
ZipArchive::~ZipArchive() = default;

bool ZipArchive::Open(const std::string& path, std::string& error) {
  Close();
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    error = fs::exists(path, ec) ? "it is not a file" : "the file does not exist";
    return false;
  }
  auto file = std::make_unique<std::ifstream>(fs::path(path), std::ios::binary);
  if (!file->is_open()) {
    error = "it cannot be opened for reading";
    return false;
  }
  ZipDirectory directory;
  if (!ReadZipDirectory(*file, directory, error)) return false;
  file_ = std::move(file);
  items_ = std::move(directory.items);
  places_ = std::move(directory.places);
  return true;
}

void ZipArchive::Close() {
  file_.reset();
  items_.clear();
  places_.clear();
}

bool ZipArchive::Extract(int index, const CancelToken& cancel, std::string& error) {
  if (!IsOpen() || index < 0 || index >= Count()) {
    error = "there is no such item";
    return false;
  }
  const ZipItemInfo& item = Item(index);
  const fs::path target = base_ / item.name;
  if (item.attributes.directory) {
    // A folder whose name cleans to nothing is the base directory itself.
    std::error_code ec;
    fs::create_directories(target, ec);
    if (!fs::is_directory(fs::symlink_status(target, ec))) {
      error = "the folder cannot be created" + (ec ? ": " + ec.message() : std::string());
      return false;
    }
    return true;
  }
  if (item.name.empty()) {
    error = "its name leaves no place to put it";
    return false;
  }
  if (!MakeParent(target, error) || !ClearTarget(target, error)) return false;
  if (item.attributes.symbolicLink) return ExtractLink(index, target, error);
  return ExtractFile(index, target, cancel, error);
}

bool ZipArchive::ExtractFile(int index, const fs::path& target, const CancelToken& cancel,
                             std::string& error) {
  ExtractedFile out;
  if (!out.Create(target, error)) return false;
  const auto write = [&out, &cancel](std::string_view piece, std::string& why) {
    if (cancel.IsCancelled()) {
      why = "cancelled";
      return false;
    }
    return out.Write(piece, why);
  };
  const size_t at = static_cast<size_t>(index);
  ZipItemTimes times;
  if (!ReadZipItemData(*file_, items_[at], places_[at], kPieceSize, write, times, error)) {
    return false;
  }
  return out.Finish(items_[at].attributes, times, error);
}

bool ZipArchive::ReadWholeItem(int index, size_t limit, std::string& data, std::string& error) {
  const size_t at = static_cast<size_t>(index);
  if (items_[at].size > limit) {
    error = "it is too long";
    return false;
  }
  data.clear();
  const auto collect = [&data](std::string_view piece, std::string&) {
    data.append(piece);
    return true;
  };
  ZipItemTimes ignored;
  return ReadZipItemData(*file_, items_[at], places_[at], kPieceSize, collect, ignored, error);
}

bool ZipArchive::ExtractLink(int index, const fs::path& target, std::string& error) {
  std::string linkTarget;
  if (!ReadWholeItem(index, kLongestLinkTarget, linkTarget, error)) return false;
  if (!StaysInside(linkTarget)) {
    error = "it is a link to \"" + linkTarget +
            "\", which could point outside the installation directory";
    return false;
  }
  std::error_code ec;
  fs::create_symlink(linkTarget, target, ec);
  if (ec) {
    error = "the link cannot be created: " + ec.message();
    return false;
  }
  return true;
}

}  // namespace pellux
