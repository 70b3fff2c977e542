#include "jobs/ZipArchive.h"

#include <unzip.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "base/Cancellation.h"
#include "base/FileHandle.h"
#include "base/FileTimes.h"
#include "jobs/ZipItemName.h"

namespace fs = std::filesystem;

struct ZipArchive::Handle {
  explicit Handle(unzFile opened) : file(opened) {}
  ~Handle() { unzClose(file); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  unzFile file;
};

namespace {
constexpr size_t kLargestField = 0xFFFF;  // names and extra fields have 16-bit lengths
constexpr size_t kLongestLinkTarget = 4096;

// The item opened for reading; closes it on every way out.
class OpenItem {
 public:
  explicit OpenItem(unzFile file) : file_(file) {}
  ~OpenItem() {
    if (file_ != nullptr) unzCloseCurrentFile(file_);
  }
  OpenItem(const OpenItem&) = delete;
  OpenItem& operator=(const OpenItem&) = delete;
  // Closes the item; false when the data did not match its CRC.
  bool Close() {
    const int result = unzCloseCurrentFile(file_);
    file_ = nullptr;
    return result == UNZ_OK;
  }

 private:
  unzFile file_;
};

using UniqueFile = FileHandle;

// Removes a partly written file unless dismissed.
class PartialFile {
 public:
  explicit PartialFile(fs::path path) : path_(std::move(path)) {}
  ~PartialFile() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove(path_, ignored);
  }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;
  void Keep() { path_.clear(); }

 private:
  fs::path path_;
};

std::string Describe(const std::error_code& error) {
  return error.message();
}

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
    error = "the existing file cannot be replaced: " + Describe(ec);
    return false;
  }
  return true;
}

bool MakeParent(const fs::path& target, std::string& error) {
  std::error_code ec;
  const fs::path parent = target.parent_path();
  fs::create_directories(parent, ec);
  if (!fs::is_directory(parent)) {
    error = "its folder cannot be created" + (ec ? ": " + Describe(ec) : std::string());
    return false;
  }
  return true;
}

bool SetTimes(const fs::path& target, const ZipItemTimes& times, std::string& error) {
  std::error_code ec;
  if (!SetFileTimes(target, times.accessed, times.modified, ec)) {
    error = "its times cannot be set: " + Describe(ec);
    return false;
  }
  return true;
}

bool SetPermissions(const fs::path& target, const ZipItemAttributes& attributes,
                    std::string& error) {
  std::error_code ec;
  if (attributes.unixPermissions != 0) {
    // Owner read is kept so that the file can always be backed up and copied.
    fs::permissions(target,
                    static_cast<fs::perms>(attributes.unixPermissions) | fs::perms::owner_read,
                    fs::perm_options::replace, ec);
  } else if (attributes.readOnly) {
    fs::permissions(target,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove, ec);
  }
  if (ec) {
    error = "its attributes cannot be set: " + Describe(ec);
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
  unzFile file = unzOpen64(path.c_str());
  if (file == nullptr) {
    error = "it is not a readable ZIP archive";
    return false;
  }
  auto handle = std::make_unique<Handle>(file);

  unz_global_info64 global{};
  if (unzGetGlobalInfo64(file, &global) != UNZ_OK) {
    error = "it is not a readable ZIP archive";
    return false;
  }
  std::vector<ZipItemInfo> items;
  std::vector<Position> positions;
  std::string name(kLargestField + 1, '\0');
  std::string extra(kLargestField + 1, '\0');
  int step = global.number_entry > 0 ? unzGoToFirstFile(file) : UNZ_END_OF_LIST_OF_FILE;
  while (step == UNZ_OK) {
    unz_file_info64 raw{};
    if (unzGetCurrentFileInfo64(file, &raw, name.data(), name.size(), extra.data(), extra.size(),
                                nullptr, 0) != UNZ_OK) {
      break;
    }
    unz64_file_pos position{};
    unzGetFilePos64(file, &position);

    ZipItemInfo item;
    item.storedName.assign(name.data(), std::min<size_t>(raw.size_filename, kLargestField));
    if (item.storedName.find('\0') != std::string::npos) {
      error = "an item name holds a zero byte";
      return false;
    }
    item.name = CleanZipItemName(item.storedName);
    item.attributes = DecodeZipAttributes(raw.version, raw.external_fa, item.storedName);
    const std::time_t dosTime =
        DosTimeToUnix(raw.tmu_date.tm_year, raw.tmu_date.tm_mon + 1, raw.tmu_date.tm_mday,
                      raw.tmu_date.tm_hour, raw.tmu_date.tm_min, raw.tmu_date.tm_sec);
    item.times = {dosTime, dosTime, dosTime};
    ApplyExtendedTimestamp(
        std::string_view(extra.data(), std::min<size_t>(raw.size_file_extra, kLargestField)),
        item.times);
    item.size = raw.uncompressed_size;
    item.method = raw.compression_method;
    item.encrypted = (raw.flag & 1) != 0;
    if (item.encrypted) {
      error = "the item \"" + item.storedName + "\" is encrypted";
      return false;
    }
    if (item.method != 0 && item.method != Z_DEFLATED) {
      error = "the item \"" + item.storedName + "\" uses compression method " +
              std::to_string(item.method) + ", which cannot be read";
      return false;
    }
    items.push_back(std::move(item));
    positions.push_back({position.pos_in_zip_directory, position.num_of_file});
    step = unzGoToNextFile(file);
  }
  if (step != UNZ_END_OF_LIST_OF_FILE || items.size() != global.number_entry) {
    error = "its list of items is damaged";
    return false;
  }
  handle_ = std::move(handle);
  items_ = std::move(items);
  positions_ = std::move(positions);
  return true;
}

void ZipArchive::Close() {
  handle_.reset();
  items_.clear();
  positions_.clear();
}

bool ZipArchive::OpenItemData(int index, std::string& error) {
  const Position& position = positions_.at(static_cast<size_t>(index));
  unz64_file_pos raw{position.directoryOffset, position.number};
  if (unzGoToFilePos64(handle_->file, &raw) != UNZ_OK ||
      unzOpenCurrentFile(handle_->file) != UNZ_OK) {
    error = "its data cannot be read";
    return false;
  }
  // The local header's timestamp field may carry the access and creation
  // times that the central directory leaves out.
  localTimes_ = Item(index).times;
  std::string extra(kLargestField, '\0');
  const int length = unzGetLocalExtrafield(handle_->file, extra.data(), extra.size());
  if (length > 0) ApplyExtendedTimestamp(std::string_view(extra.data(), length), localTimes_);
  return true;
}

bool ZipArchive::Extract(int index, std::string& error) {
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
      error = "the folder cannot be created" + (ec ? ": " + Describe(ec) : std::string());
      return false;
    }
    return true;
  }
  if (item.name.empty()) {
    error = "its name leaves no place to put it";
    return false;
  }
  if (!MakeParent(target, error) || !ClearTarget(target, error)) return false;
  if (item.attributes.symbolicLink) return ExtractLink(item, target, error);
  return ExtractFile(item, target, error);
}

bool ZipArchive::ExtractFile(const ZipItemInfo& item, const fs::path& target, std::string& error) {
  if (!OpenItemData(static_cast<int>(&item - items_.data()), error)) return false;
  OpenItem data(handle_->file);
  // "x": never follow a link or reuse a file that appeared meanwhile.
  UniqueFile out(std::fopen(target.c_str(), "wbx"));
  if (!out) {
    error =
        "the file cannot be created: " + Describe(std::error_code(errno, std::generic_category()));
    return false;
  }
  PartialFile partial(target);
  std::vector<char> piece(kPieceSize);
  std::uint64_t written = 0;
  for (;;) {
    if (JobCancelled()) {
      error = "cancelled";
      return false;
    }
    const int read = unzReadCurrentFile(handle_->file, piece.data(), piece.size());
    if (read < 0) {
      error = "its data is damaged";
      return false;
    }
    if (read == 0) break;
    if (std::fwrite(piece.data(), 1, static_cast<size_t>(read), out.get()) !=
        static_cast<size_t>(read)) {
      error = "writing failed: " + Describe(std::error_code(errno, std::generic_category()));
      return false;
    }
    written += static_cast<std::uint64_t>(read);
  }
  if (written != item.size || !data.Close()) {
    error = "its data is damaged";
    return false;
  }
  if (std::fclose(out.release()) != 0) {
    error = "writing failed: " + Describe(std::error_code(errno, std::generic_category()));
    return false;
  }
  if (!SetPermissions(target, item.attributes, error) || !SetTimes(target, localTimes_, error)) {
    return false;
  }
  partial.Keep();
  return true;
}

bool ZipArchive::ReadWholeItem(const ZipItemInfo& item, size_t limit, std::string& data,
                               std::string& error) {
  if (item.size > limit) {
    error = "it is too long";
    return false;
  }
  if (!OpenItemData(static_cast<int>(&item - items_.data()), error)) return false;
  OpenItem open(handle_->file);
  data.assign(static_cast<size_t>(item.size), '\0');
  const int read = data.empty() ? 0 : unzReadCurrentFile(handle_->file, data.data(), data.size());
  if (read != static_cast<int>(data.size()) || !open.Close()) {
    error = "its data is damaged";
    return false;
  }
  return true;
}

bool ZipArchive::ExtractLink(const ZipItemInfo& item, const fs::path& target, std::string& error) {
  std::string linkTarget;
  if (!ReadWholeItem(item, kLongestLinkTarget, linkTarget, error)) return false;
  if (!StaysInside(linkTarget)) {
    error = "it is a link to \"" + linkTarget +
            "\", which could point outside the installation directory";
    return false;
  }
  std::error_code ec;
  fs::create_symlink(linkTarget, target, ec);
  if (ec) {
    error = "the link cannot be created: " + Describe(ec);
    return false;
  }
  return true;
}
