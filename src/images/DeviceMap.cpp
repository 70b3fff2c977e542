#include "images/DeviceMap.h"

#include <algorithm>
#include <fstream>

#include "base/AsciiCase.h"
#include "base/FormatText.h"
#include "base/Ini.h"
#include "images/FirmImage.h"

namespace {

bool IsProductSection(const std::string& name) {
  return EqualsIgnoringAsciiCase(name, "product");
}

// Values are read as text with a text default, then converted, so a present
// but unparsable value reads as 0 (not as the default).
uint32_t ReadNumber(const CIni& ini, const std::string& section, const char* key,
                    const char* defaultText, int base) {
  return CIni::ConvertUInt(ini.GetString(section.c_str(), key, defaultText), base);
}

}  // namespace

uint32_t readDeviceMap(const std::string& path, uint16_t& sectorCount, uint16_t& packetSize,
                       DeviceMap* map, uint8_t& pagesPerSector) {
  if (!std::ifstream(path)) return kImageFailure;
  const CIni ini(path);
  std::vector<std::string> sections;
  ini.GetSectionNames(sections);

  std::vector<MapSector> sectors;
  for (const std::string& section : sections) {
    if (IsProductSection(section)) {
      packetSize = static_cast<uint16_t>(ReadNumber(ini, section, "PacketSize", "100", 16));
      ini.GetString(section.c_str(), "MAPNAME", "Sectors");  // carried, not interpreted
      pagesPerSector =
          static_cast<uint8_t>(ReadNumber(ini, section, "PagesPerSector", "Sectors", 10));
      continue;
    }
    MapSector sector;
    sector.name = section;
    sector.index = ReadNumber(ini, section, "Index", "00000000", 16);
    sector.address = ReadNumber(ini, section, "Address", "00000000", 16);
    sector.size = ReadNumber(ini, section, "Size", "00000000", 16);
    sector.type = static_cast<uint8_t>(ReadNumber(ini, section, "Type", "111", 2));
    sector.selected = true;
    sectors.push_back(std::move(sector));
  }
  sectorCount = static_cast<uint16_t>(sectors.size());
  if (map != nullptr) {
    map->sectorCount = static_cast<uint32_t>(sectors.size());
    map->sectors = std::move(sectors);
  }
  return kImageSuccess;
}

bool IsUsablePacketSize(uint32_t packetSize) {
  return packetSize >= 4 && packetSize <= 0xFF;
}

std::string UnusablePacketSizeMessage(uint32_t packetSize) {
  return FormatText(
      "The device map's packet size PacketSize=%X cannot be used: the bootloader transfers 4 to "
      "FF (hexadecimal) bytes per packet.\n",
      packetSize);
}

uint32_t createImageFromMap(const DeviceMap& map, std::unique_ptr<CFirmImage>& out) {
  auto image = std::make_unique<CFirmImage>();
  for (const MapSector& sector : map.sectors) {
    if (!sector.selected) continue;
    ImageElement element;
    element.address = sector.address;
    element.size = sector.size;
    element.data.assign(sector.size, 0xFF);
    image->elements.push_back(std::move(element));
  }
  out = std::move(image);
  return kImageSuccess;
}

uint32_t filterByMap(CFirmImage& image, const DeviceMap* map) {
  if (map == nullptr || !image.valid) return kImageFailure;
  std::vector<ImageElement> pieces;
  for (const ImageElement& element : image.elements) {
    const uint64_t elementStart = element.address;
    const uint64_t elementEnd = elementStart + element.size;
    // One piece per writable sector, in map order.
    for (const MapSector& sector : map->sectors) {
      if (!sector.selected || (sector.type & 1) == 0) continue;
      const uint64_t start = std::max<uint64_t>(sector.address, elementStart);
      const uint64_t end = std::min<uint64_t>(uint64_t{sector.address} + sector.size, elementEnd);
      if (start >= end) continue;
      ImageElement piece;
      piece.address = static_cast<uint32_t>(start);
      piece.size = static_cast<uint32_t>(end - start);
      const auto first = element.data.begin() + static_cast<ptrdiff_t>(start - elementStart);
      piece.data.assign(first, first + static_cast<ptrdiff_t>(piece.size));
      pieces.push_back(std::move(piece));
    }
  }
  image.elements = std::move(pieces);
  return kImageSuccess;
}
