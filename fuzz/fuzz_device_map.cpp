// Device maps and the INI reader under them: any file reads without harm,
// the two passes of a map read agree, the reader answers consistently, a
// map with implausible sectors builds no image, and a plausible one
// describes memory that can be built and clipped.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "base/Ini.h"
#include "images/DeviceMap.h"
#include "images/FirmImage.h"

using namespace pellux;

namespace {

void CheckIniAnswers(const std::string& path) {
  const CIni ini(path);
  std::vector<std::string> sections;
  ini.GetSectionNames(sections);
  for (const std::string& section : sections) {
    FUZZ_CHECK(section.find('\n') == std::string::npos, "a section name is one line");
    for (const char* key : {"PacketSize", "Address", "Size", "Type", "Index"}) {
      const std::string value = ini.GetString(section.c_str(), key, CIni::KeyAbsentSentinel);
      FUZZ_CHECK(ini.HasKey(section.c_str(), key) == (value != CIni::KeyAbsentSentinel),
                 "HasKey agrees with GetString");
      const std::string text = ini.GetString(section.c_str(), key);
      const uint32_t number = ini.GetUInt(section.c_str(), key, 7, 16);
      const std::string kept = text.substr(0, 64);
      FUZZ_CHECK(number == (text.empty() ? 7u : CIni::ConvertUInt(kept, 16)),
                 "GetUInt converts the first 64 bytes, or gives the default");
    }
  }
  FUZZ_CHECK(ini.GetString(nullptr, "Size", "d") == "d", "a null section gives the default");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzTempDir dir;
  const std::string path = (dir.path() / "device.map").string();
  WriteBytes(path, data, size);
  CheckIniAnswers(path);

  uint16_t count = 0, packetSize = 0x1234;
  uint8_t pagesPerSector = 0x56;
  const uint32_t counted = readDeviceMap(path, count, packetSize, nullptr, pagesPerSector);
  DeviceMap map;
  uint16_t filledCount = 0;
  const uint32_t filled = readDeviceMap(path, filledCount, packetSize, &map, pagesPerSector);
  FUZZ_CHECK(counted == filled, "both passes agree on the result");
  if (filled != kImageSuccess) return 0;
  FUZZ_CHECK(
      count == filledCount && map.sectorCount == map.sectors.size() && map.sectors.size() == count,
      "both passes agree on the sector count");

  uint64_t total = 0;
  for (const MapSector& sector : map.sectors) {
    FUZZ_CHECK(sector.selected, "a read sector is selected");
    total += sector.size;
  }
  std::unique_ptr<CFirmImage> image;
  if (!ImplausibleSectorReason(map).empty()) {
    FUZZ_CHECK(createImageFromMap(map, image) == kImageFailure && !image,
               "an implausible map builds no image");
    return 0;
  }
  FUZZ_CHECK(total <= kFlashAddressSpaceEnd, "plausible sectors fit the flash address space");
  // Large maps are plausible but make slow inputs.
  if (total > (1u << 20)) return 0;
  FUZZ_CHECK(createImageFromMap(map, image) == kImageSuccess && image, "a map builds an image");
  FUZZ_CHECK(image->elements.size() == map.sectors.size(), "one element per sector");
  for (size_t i = 0; i < map.sectors.size(); ++i) {
    const ImageElement& element = image->elements[i];
    FUZZ_CHECK(element.address == map.sectors[i].address && element.size == map.sectors[i].size &&
                   element.data.size() == element.size,
               "an element covers its sector");
  }
  FUZZ_CHECK(filterByMap(*image, &map) == kImageSuccess, "a map clips its own image");
  size_t writable = 0;
  for (const MapSector& sector : map.sectors) writable += sector.type & 1;
  FUZZ_CHECK(image->elements.size() == writable,
             "clipping keeps exactly the writable sectors of sectors that do not overlap");
  return 0;
}
