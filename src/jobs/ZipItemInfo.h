#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace pellux {

// Times of a ZIP item, in Unix seconds.
struct ZipItemTimes {
  std::time_t modified = 0;
  std::time_t accessed = 0;
  std::time_t created = 0;
};

// Attributes of a ZIP item as the installation uses them.
struct ZipItemAttributes {
  bool directory = false;
  bool readOnly = false;
  bool hidden = false;
  bool system = false;
  bool archive = false;
  bool symbolicLink = false;
  // Permission bits from a Unix host (0777 mask); 0 when the archive gives none.
  unsigned unixPermissions = 0;
};

// One item of a ZIP archive as the central directory describes it.
struct ZipItemInfo {
  std::string storedName;  // 8-bit text as stored
  std::string name;        // cleaned path below the base directory, '/' separated
  ZipItemAttributes attributes;
  ZipItemTimes times;
  std::uint64_t size = 0;  // uncompressed
  unsigned method = 0;     // 0 stored, 8 deflated
  bool encrypted = false;
};

// Attributes from the "version made by" and "external attributes" fields:
// the DOS attribute byte for DOS, Windows and Macintosh hosts, the Unix mode
// for other hosts. A name ending in a separator is always a folder.
ZipItemAttributes DecodeZipAttributes(unsigned versionMadeBy, std::uint32_t externalAttributes,
                                      std::string_view storedName);

// Converts DOS date and time fields, read as local time, to Unix seconds.
std::time_t DosTimeToUnix(int year, int month1To12, int day, int hour, int minute, int second);

// Replaces the times that an extended-timestamp ("UT", 0x5455) field of
// `extra` carries. Central-directory fields carry the modification time only,
// local ones may carry all three; both forms are read. False when none found.
bool ApplyExtendedTimestamp(std::string_view extra, ZipItemTimes& times);

}  // namespace pellux
