#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "jobs/ZipItemInfo.h"

namespace pellux {

// One file being extracted. Create makes it new (never writing through a
// file or link that is already there); Finish closes it and gives it the
// item's attributes and times. A file that is not finished is removed when
// the object ends, so a failed or cancelled item leaves nothing behind.
class ExtractedFile {
 public:
  ExtractedFile();
  ~ExtractedFile();
  ExtractedFile(const ExtractedFile&) = delete;
  ExtractedFile& operator=(const ExtractedFile&) = delete;

  bool Create(const std::filesystem::path& target, std::string& error);
  bool Write(std::string_view piece, std::string& error);
  bool Finish(const ZipItemAttributes& attributes, const ZipItemTimes& times, std::string& error);

 private:
  struct Handle;  // the platform's open file
  std::unique_ptr<Handle> handle_;
  std::filesystem::path target_;
};

}  // namespace pellux
