#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "jobs/ZipItemInfo.h"

// A ZIP archive read with minizip (zlib inflates the deflated items). Open
// reads the whole central directory, so a damaged list of items, encrypted
// items or unknown compression methods are found before anything is written.
class ZipArchive {
 public:
  ZipArchive();
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // Opens an archive by file name, without password. On failure `error`
  // says why in a few words and the archive stays closed.
  bool Open(const std::string& path, std::string& error);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }

  int Count() const { return static_cast<int>(items_.size()); }
  const ZipItemInfo& Item(int index) const { return items_.at(static_cast<size_t>(index)); }

  void SetBaseDirectory(const std::filesystem::path& directory) { base_ = directory; }

  // Writes item `index` under the base directory at its cleaned name, with
  // its attributes and times. A cancelled job stops it between pieces. On
  // failure nothing of the item is left and `error` says why.
  bool Extract(int index, std::string& error);

  // Size of the pieces in which file data is written.
  static constexpr size_t kPieceSize = 16 * 1024;

 private:
  struct Handle;
  struct Position {
    unsigned long long directoryOffset = 0;
    unsigned long long number = 0;
  };
  bool OpenItemData(int index, std::string& error);
  bool ExtractFile(const ZipItemInfo& item, const std::filesystem::path& target,
                   std::string& error);
  bool ExtractLink(const ZipItemInfo& item, const std::filesystem::path& target,
                   std::string& error);
  bool ReadWholeItem(const ZipItemInfo& item, size_t limit, std::string& data, std::string& error);

  std::unique_ptr<Handle> handle_;
  std::vector<ZipItemInfo> items_;
  std::vector<Position> positions_;
  std::filesystem::path base_;
  ZipItemTimes localTimes_;  // times of the item opened last, local header included
};
