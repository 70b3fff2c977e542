#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "jobs/ZipItemInfo.h"

namespace pellux {

// Where an item's data lies and how it is checked, from the central directory.
struct ZipItemPlace {
  std::uint64_t localHeaderOffset = 0;  // from the start of the file
  std::uint64_t compressedSize = 0;
  std::uint32_t crc32 = 0;
};

// The central directory of a ZIP archive.
struct ZipDirectory {
  std::vector<ZipItemInfo> items;
  std::vector<ZipItemPlace> places;  // one per item
};

// Reads the central directory of the archive in `file` (ZIP64 included).
// Refuses encrypted items and methods other than stored and deflated. On
// failure `error` says why in a few words.
bool ReadZipDirectory(std::istream& file, ZipDirectory& directory, std::string& error);

}  // namespace pellux
