#include "jobs/ZipItemInfo.h"

#include "jobs/LittleEndian.h"
#include "jobs/ZipItemName.h"

namespace pellux {

namespace {
// Host numbers of the "version made by" field whose attributes are DOS bytes.
constexpr unsigned kHostMsDos = 0;
constexpr unsigned kHostMacintosh = 7;
constexpr unsigned kHostNtfs = 10;
constexpr unsigned kHostVfat = 14;

constexpr std::uint32_t kDosReadOnly = 0x01;
constexpr std::uint32_t kDosHidden = 0x02;
constexpr std::uint32_t kDosSystem = 0x04;
constexpr std::uint32_t kDosDirectory = 0x10;
constexpr std::uint32_t kDosArchive = 0x20;

// Unix mode bits as ZIP stores them, whatever system reads the archive.
constexpr std::uint32_t kUnixTypeMask = 0170000;
constexpr std::uint32_t kUnixDirectory = 0040000;
constexpr std::uint32_t kUnixLink = 0120000;
constexpr std::uint32_t kUnixOwnerWrite = 0200;

constexpr std::uint16_t kExtendedTimestampId = 0x5455;

ZipItemAttributes FromDosByte(std::uint32_t dos) {
  ZipItemAttributes attributes;
  attributes.readOnly = (dos & kDosReadOnly) != 0;
  attributes.hidden = (dos & kDosHidden) != 0;
  attributes.system = (dos & kDosSystem) != 0;
  attributes.directory = (dos & kDosDirectory) != 0;
  attributes.archive = (dos & kDosArchive) != 0;
  return attributes;
}

}  // namespace

ZipItemAttributes DecodeZipAttributes(unsigned versionMadeBy, std::uint32_t externalAttributes,
                                      std::string_view storedName) {
  const unsigned host = (versionMadeBy >> 8) & 0xFF;
  const std::uint32_t unixMode = externalAttributes >> 16;
  ZipItemAttributes attributes;
  const bool dosHost =
      host == kHostMsDos || host == kHostMacintosh || host == kHostNtfs || host == kHostVfat;
  if (dosHost || unixMode == 0) {
    // A Unix host that recorded no mode at all (zero) has only the DOS byte to say anything.
    attributes = FromDosByte(externalAttributes & 0xFF);
  } else {
    attributes.archive = true;
    attributes.directory = (unixMode & kUnixTypeMask) == kUnixDirectory;
    attributes.symbolicLink = (unixMode & kUnixTypeMask) == kUnixLink;
    attributes.readOnly = (unixMode & kUnixOwnerWrite) == 0;
    attributes.unixPermissions = unixMode & 0777;
  }
  if (NamesZipFolder(storedName)) {
    attributes.directory = true;
    attributes.symbolicLink = false;
  }
  return attributes;
}

std::time_t DosTimeToUnix(int year, int month1To12, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month1To12 - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

bool ApplyExtendedTimestamp(std::string_view extra, ZipItemTimes& times) {
  size_t at = 0;
  while (at + 4 <= extra.size()) {
    const unsigned id = ReadLittleEndian(extra, at, 2);
    const size_t size = ReadLittleEndian(extra, at + 2, 2);
    const size_t data = at + 4;
    if (data + size > extra.size()) return false;
    if (id == kExtendedTimestampId && size >= 1) {
      const unsigned flags = static_cast<unsigned char>(extra[data]);
      size_t field = data + 1;
      const size_t end = data + size;
      std::time_t* targets[] = {&times.modified, &times.accessed, &times.created};
      bool found = false;
      for (int bit = 0; bit < 3; ++bit) {
        if ((flags & (1u << bit)) == 0) continue;
        // The central directory's copy keeps the flags but only the first time.
        if (field + 4 > end) break;
        *targets[bit] = static_cast<std::int32_t>(ReadLittleEndian(extra, field, 4));
        field += 4;
        found = true;
      }
      return found;
    }
    at = data + size;
  }
  return false;
}

}  // namespace pellux
