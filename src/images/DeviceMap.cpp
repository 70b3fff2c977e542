#include "images/DeviceMap.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <limits>

#include "base/AsciiCase.h"
#include "base/FormatText.h"
#include "base/Ini.h"
#include "base/IniDocument.h"
#include "base/JobConsole.h"
#include "images/FirmImage.h"

namespace pellux {

namespace {

bool IsProductSection(const std::string& name) {
  return EqualsIgnoringAsciiCase(name, "product");
}

// Values are read as text with a text default, then converted, so a present
// but unparsable value reads as 0 (not as the default).
uint32_t ReadNumber(const IniDocument& ini, const std::string& section, const char* key,
                    const char* defaultText, int base) {
  return CIni::ConvertUInt(ini.Find(section, key).value_or(defaultText), base);
}

}  // namespace

uint32_t readDeviceMap(const std::string& path, uint16_t& sectorCount, uint16_t& packetSize,
                       DeviceMap* map, uint8_t& pagesPerSector) {
  // The file is parsed once per read: looking every value up in the file
  // again made a map of 2048 sections take seconds.
  std::ifstream in(path, std::ios::binary);
  if (!in) return kImageFailure;
  const IniDocument ini(
      std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
  const std::vector<std::string> sections = ini.SectionNames();

  std::vector<MapSector> sectors;
  for (const std::string& section : sections) {
    if (IsProductSection(section)) {
      packetSize = static_cast<uint16_t>(ReadNumber(ini, section, "PacketSize", "100", 16));
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

std::string ImplausibleSectorReason(const DeviceMap& map) {
  const std::vector<MapSector>& sectors = map.sectors;
  if (sectors.size() > std::numeric_limits<uint16_t>::max())
    return FormatText("it has %zu sectors, more than a map can hold (65535)", sectors.size());
  for (const MapSector& sector : sectors) {
    if (sector.size == 0) return FormatText("sector [%s] has the size 0", sector.name.c_str());
    if (uint64_t{sector.address} + sector.size > kFlashAddressSpaceEnd)
      return FormatText(
          "sector [%s] at 0x%08X with the size 0x%X reaches beyond the flash address space, "
          "which ends at 0x%08X",
          sector.name.c_str(), sector.address, sector.size,
          static_cast<uint32_t>(kFlashAddressSpaceEnd - 1));
  }
  // Sorted by address, each sector must end before the next begins.
  std::vector<const MapSector*> byAddress;
  byAddress.reserve(sectors.size());
  for (const MapSector& sector : sectors) byAddress.push_back(&sector);
  std::stable_sort(byAddress.begin(), byAddress.end(),
                   [](const MapSector* a, const MapSector* b) { return a->address < b->address; });
  for (size_t i = 1; i < byAddress.size(); ++i) {
    const MapSector& previous = *byAddress[i - 1];
    if (uint64_t{previous.address} + previous.size > byAddress[i]->address)
      return FormatText("sectors [%s] and [%s] overlap", previous.name.c_str(),
                        byAddress[i]->name.c_str());
  }
  return {};
}

std::string ImplausibleMapMessage(const std::string& path, const std::string& reason) {
  return FormatText(
      "The device map %s cannot be used: %s. Correct the map file or use the one shipped with "
      "the program.\n",
      path.c_str(), reason.c_str());
}

uint32_t createImageFromMap(const DeviceMap& map, std::unique_ptr<CFirmImage>& out) {
  // A sector size read from a damaged map (FFFFFFFF) would be allocated whole.
  if (!ImplausibleSectorReason(map).empty()) return kImageFailure;
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

}  // namespace pellux
