#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "jobs/ZipDirectory.h"
#include "jobs/ZipItemInfo.h"

namespace pellux {

class CancelToken;

// A ZIP archive: our own reader of the central directory and local headers,
// zlib inflating the deflated items. Open reads the whole central directory,
// so a damaged list of items, encrypted items or unknown compression methods
// are found before anything is written.
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
  bool IsOpen() const { return file_ != nullptr; }

  int Count() const { return static_cast<int>(items_.size()); }
  const ZipItemInfo& Item(int index) const { return items_.at(static_cast<size_t>(index)); }

  void SetBaseDirectory(const std::filesystem::path& directory) { base_ = directory; }

  // Writes item `index` under the base directory at its cleaned name, with
  // its attributes and times. A cancellation of `cancel` stops it between
  // pieces. On failure nothing of the item is left and `error` says why.
  bool Extract(int index, const CancelToken& cancel, std::string& error);

  // Size of the pieces in which file data is written.
  static constexpr size_t kPieceSize = 16 * 1024;

 private:
  bool ExtractFile(int index, const std::filesystem::path& target, const CancelToken& cancel,
                   std::string& error);
  bool ExtractLink(int index, const std::filesystem::path& target, std::string& error);
  bool ReadWholeItem(int index, size_t limit, std::string& data, std::string& error);

  std::unique_ptr<std::ifstream> file_;
  std::vector<ZipItemInfo> items_;
  std::vector<ZipItemPlace> places_;
  std::filesystem::path base_;
};

}  // namespace pellux
