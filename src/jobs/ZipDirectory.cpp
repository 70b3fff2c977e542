#include "jobs/ZipDirectory.h"

#include <algorithm>
#include <optional>

#include "jobs/LittleEndian.h"
#include "jobs/ZipItemName.h"

namespace pellux {

namespace {
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kEntrySignature = 0x02014b50;
constexpr size_t kEndSize = 22;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kEntrySize = 46;
constexpr size_t kLongestComment = 0xFFFF;
constexpr std::uint16_t kZip64ExtraId = 0x0001;

constexpr unsigned kFlagEncrypted = 0x0001;
constexpr unsigned kFlagStrongEncryption = 0x0040;
constexpr unsigned kMethodStored = 0;
constexpr unsigned kMethodDeflated = 8;

const char* const kNotZip = "it is not a readable ZIP archive";
const char* const kDamaged = "its list of items is damaged";

// Reads `size` bytes at `offset`; false when the file is shorter.
bool ReadAt(std::istream& file, std::uint64_t offset, size_t size, std::string& bytes) {
  bytes.assign(size, '\0');
  file.clear();
  file.seekg(static_cast<std::streamoff>(offset));
  if (!file) return false;
  file.read(bytes.data(), static_cast<std::streamsize>(size));
  return file.gcount() == static_cast<std::streamsize>(size);
}

std::uint64_t Le(std::string_view bytes, size_t at, size_t width) {
  return ReadLittleEndian(bytes, at, width);
}

// The end record's position in `tail`: the last signature whose comment ends
// the file exactly, else the last one whose comment fits.
std::optional<size_t> FindEndRecord(std::string_view tail) {
  std::optional<size_t> fitting;
  for (size_t at = tail.size() - kEndSize + 1; at-- > 0;) {
    if (Le(tail, at, 4) != kEndSignature) continue;
    const size_t commentEnd = at + kEndSize + Le(tail, at + 20, 2);
    if (commentEnd == tail.size()) return at;
    if (commentEnd < tail.size() && !fitting) fitting = at;
  }
  return fitting;
}

struct DirectoryExtent {
  std::uint64_t entries = 0;
  std::uint64_t size = 0;
  std::uint64_t offset = 0;
  std::uint64_t recordPosition = 0;  // where the (ZIP64) end record lies in the file
};

// Replaces the 32-bit values that an entry marks as "in the ZIP64 field".
bool ApplyZip64Extra(std::string_view extra, std::uint64_t& size, std::uint64_t& compressedSize,
                     std::uint64_t& offset) {
  size_t at = 0;
  while (at + 4 <= extra.size()) {
    const size_t length = Le(extra, at + 2, 2);
    const size_t data = at + 4;
    if (data + length > extra.size()) return false;
    if (Le(extra, at, 2) == kZip64ExtraId) {
      size_t field = data;
      for (std::uint64_t* value : {&size, &compressedSize, &offset}) {
        if (*value != 0xFFFFFFFF) continue;
        if (field + 8 > data + length) return false;
        *value = Le(extra, field, 8);
        field += 8;
      }
      return true;
    }
    at = data + length;
  }
  return size != 0xFFFFFFFF && compressedSize != 0xFFFFFFFF && offset != 0xFFFFFFFF;
}

std::time_t DosFieldsToUnix(unsigned date, unsigned time) {
  return DosTimeToUnix(static_cast<int>(1980 + (date >> 9)), static_cast<int>((date >> 5) & 0x0F),
                       static_cast<int>(date & 0x1F), static_cast<int>(time >> 11),
                       static_cast<int>((time >> 5) & 0x3F), static_cast<int>((time & 0x1F) * 2));
}

// Parses the entry at `at` of the directory; moves `at` past it.
bool ReadEntry(std::string_view directory, size_t& at, ZipItemInfo& item, ZipItemPlace& place,
               std::string& error) {
  if (at + kEntrySize > directory.size() || Le(directory, at, 4) != kEntrySignature) {
    error = kDamaged;
    return false;
  }
  const std::string_view fixed = directory.substr(at, kEntrySize);
  const unsigned versionMadeBy = static_cast<unsigned>(Le(fixed, 4, 2));
  const unsigned flags = static_cast<unsigned>(Le(fixed, 8, 2));
  const unsigned method = static_cast<unsigned>(Le(fixed, 10, 2));
  const size_t nameLength = Le(fixed, 28, 2);
  const size_t extraLength = Le(fixed, 30, 2);
  const size_t commentLength = Le(fixed, 32, 2);
  const size_t end = at + kEntrySize + nameLength + extraLength + commentLength;
  if (end > directory.size()) {
    error = kDamaged;
    return false;
  }
  const std::string_view name = directory.substr(at + kEntrySize, nameLength);
  const std::string_view extra = directory.substr(at + kEntrySize + nameLength, extraLength);
  at = end;

  item.storedName.assign(name);
  if (item.storedName.find('\0') != std::string::npos) {
    error = "an item name holds a zero byte";
    return false;
  }
  item.name = CleanZipItemName(item.storedName);
  item.attributes =
      DecodeZipAttributes(versionMadeBy, static_cast<std::uint32_t>(Le(fixed, 38, 4)), name);
  const std::time_t dosTime = DosFieldsToUnix(static_cast<unsigned>(Le(fixed, 14, 2)),
                                              static_cast<unsigned>(Le(fixed, 12, 2)));
  item.times = {dosTime, dosTime, dosTime};
  ApplyExtendedTimestamp(extra, item.times);
  item.method = method;
  item.encrypted = (flags & (kFlagEncrypted | kFlagStrongEncryption)) != 0;
  item.size = Le(fixed, 24, 4);
  place.compressedSize = Le(fixed, 20, 4);
  place.localHeaderOffset = Le(fixed, 42, 4);
  place.crc32 = static_cast<std::uint32_t>(Le(fixed, 16, 4));
  if (!ApplyZip64Extra(extra, item.size, place.compressedSize, place.localHeaderOffset)) {
    error = kDamaged;
    return false;
  }
  if (item.encrypted) {
    error = "the item \"" + item.storedName + "\" is encrypted";
    return false;
  }
  if (method != kMethodStored && method != kMethodDeflated) {
    error = "the item \"" + item.storedName + "\" uses compression method " +
            std::to_string(method) + ", which cannot be read";
    return false;
  }
  if (method == kMethodStored && item.size != place.compressedSize) {
    error = kDamaged;
    return false;
  }
  return true;
}

// Reads the ZIP64 end record that the locator before the end record points to.
bool ReadZip64Extent(std::istream& file, std::uint64_t locatorPosition, DirectoryExtent& extent,
                     std::string& error) {
  std::string locator;
  if (!ReadAt(file, locatorPosition, kZip64LocatorSize, locator) ||
      Le(locator, 0, 4) != kZip64LocatorSignature) {
    error = kDamaged;
    return false;
  }
  if (Le(locator, 4, 4) != 0 || Le(locator, 16, 4) > 1) {
    error = "it is split over several files, which cannot be read";
    return false;
  }
  // Data put in front of the archive moves the record; it then lies right before the locator.
  std::string record;
  std::uint64_t position = Le(locator, 8, 8);
  if (!ReadAt(file, position, kZip64EndSize, record) || Le(record, 0, 4) != kZip64EndSignature) {
    if (locatorPosition < kZip64EndSize) {
      error = kDamaged;
      return false;
    }
    position = locatorPosition - kZip64EndSize;
    if (!ReadAt(file, position, kZip64EndSize, record) || Le(record, 0, 4) != kZip64EndSignature) {
      error = kDamaged;
      return false;
    }
  }
  if (Le(record, 16, 4) != 0 || Le(record, 20, 4) != 0) {
    error = "it is split over several files, which cannot be read";
    return false;
  }
  extent.entries = Le(record, 32, 8);
  extent.size = Le(record, 40, 8);
  extent.offset = Le(record, 48, 8);
  extent.recordPosition = position;
  return true;
}
}  // namespace

bool ReadZipDirectory(std::istream& file, ZipDirectory& directory, std::string& error) {
  file.clear();
  file.seekg(0, std::ios::end);
  const std::streamoff end = file.tellg();
  if (!file || end < static_cast<std::streamoff>(kEndSize)) {
    error = kNotZip;
    return false;
  }
  const std::uint64_t fileSize = static_cast<std::uint64_t>(end);
  const size_t tailSize = static_cast<size_t>(
      std::min<std::uint64_t>(fileSize, kEndSize + kLongestComment + kZip64LocatorSize));
  std::string tail;
  if (!ReadAt(file, fileSize - tailSize, tailSize, tail)) {
    error = kNotZip;
    return false;
  }
  const std::optional<size_t> found = FindEndRecord(tail);
  if (!found) {
    error = kNotZip;
    return false;
  }
  const std::string_view record = std::string_view(tail).substr(*found, kEndSize);
  const std::uint64_t recordPosition = fileSize - tailSize + *found;
  DirectoryExtent extent{Le(record, 10, 2), Le(record, 12, 4), Le(record, 16, 4), recordPosition};
  const bool hasLocator = *found >= kZip64LocatorSize &&
                          Le(tail, *found - kZip64LocatorSize, 4) == kZip64LocatorSignature;
  const bool needsZip64 =
      extent.entries == 0xFFFF || extent.size == 0xFFFFFFFF || extent.offset == 0xFFFFFFFF;
  if (hasLocator || needsZip64) {
    if (!hasLocator) {
      error = kDamaged;
      return false;
    }
    if (!ReadZip64Extent(file, recordPosition - kZip64LocatorSize, extent, error)) return false;
  } else if (Le(record, 4, 2) != 0 || Le(record, 6, 2) != 0 || Le(record, 8, 2) != extent.entries) {
    error = "it is split over several files, which cannot be read";
    return false;
  }

  // Bytes in front of the archive (a self-extractor's program) shift every offset.
  if (extent.offset > extent.recordPosition ||
      extent.size > extent.recordPosition - extent.offset ||
      extent.entries > extent.size / kEntrySize) {
    error = kDamaged;
    return false;
  }
  const std::uint64_t shift = extent.recordPosition - extent.offset - extent.size;
  std::string bytes;
  if (!ReadAt(file, extent.offset + shift, static_cast<size_t>(extent.size), bytes)) {
    error = kDamaged;
    return false;
  }

  ZipDirectory read;
  read.items.resize(static_cast<size_t>(extent.entries));
  read.places.resize(static_cast<size_t>(extent.entries));
  size_t at = 0;
  for (size_t i = 0; i < read.items.size(); ++i) {
    if (!ReadEntry(bytes, at, read.items[i], read.places[i], error)) return false;
    read.places[i].localHeaderOffset += shift;
  }
  if (at != bytes.size()) {
    error = kDamaged;
    return false;
  }
  directory = std::move(read);
  return true;
}

}  // namespace pellux
