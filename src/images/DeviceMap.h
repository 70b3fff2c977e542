#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pellux {

class CFirmImage;

// One flash page or sector of a device map.
struct MapSector {
  std::string name;
  uint32_t address = 0;
  uint32_t index = 0;
  uint32_t size = 0;
  // Access bits; bit 0 marks a sector that receives downloaded data.
  uint8_t type = 0;
  bool selected = false;
};

struct DeviceMap {
  uint32_t sectorCount = 0;
  std::vector<MapSector> sectors;
};

// Reads a device map file. sectorCount is the number of sections other than
// [Product]. When `map` is null only the outputs are set; otherwise its
// sectors are filled in file order (the vector is sized to fit) and every
// sector is selected. packetSize and pagesPerSector are left alone when the
// file has no [Product] section. kImageSuccess, or kImageFailure when the
// file cannot be read.
uint32_t readDeviceMap(const std::string& path, uint16_t& sectorCount, uint16_t& packetSize,
                       DeviceMap* map, uint8_t& pagesPerSector);

// Whether the bootloader link can transfer packets of this size: it takes
// the size as one byte rounded down to a multiple of 4, so only 4..0xFF work.
bool IsUsablePacketSize(uint32_t packetSize);
// The line to print when a map's packet size is refused.
std::string UnusablePacketSizeMessage(uint32_t packetSize);

// Every STM32 keeps its flash, system memory and option bytes in the code
// region below this address; no map sector can reach beyond it.
inline constexpr uint64_t kFlashAddressSpaceEnd = 0x20000000;

// Why the sectors of a map cannot describe a microcontroller's flash: a
// sector of size 0, one reaching beyond kFlashAddressSpaceEnd, two that
// overlap, or more sectors than the count of a map can hold. Empty when
// they can.
std::string ImplausibleSectorReason(const DeviceMap& map);
// The line to print when a map's sectors are refused.
std::string ImplausibleMapMessage(const std::string& path, const std::string& reason);

// An image with one 0xFF-filled element per selected sector (for uploads).
// kImageFailure, and no image, for a map whose sectors are implausible.
uint32_t createImageFromMap(const DeviceMap& map, std::unique_ptr<CFirmImage>& out);

// Clips the image to the selected sectors whose type has bit 0 set; an
// element spanning several sectors becomes one piece per sector, data
// outside them is dropped. kImageFailure when `map` is null or the image is
// invalid.
uint32_t filterByMap(CFirmImage& image, const DeviceMap* map);

}  // namespace pellux
