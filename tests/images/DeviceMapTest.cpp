#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "PeerTools.h"
#include "TestFiles.h"
#include "images/DeviceMap.h"
#include "images/FirmImage.h"

using namespace pellux;

namespace {

// The two built-in templates of the control-board update.
std::string F4Map() {
  std::string map =
      "[Product]\nName=STM32F4_01_256K\nPID=0423\nBID=1FFF76DE\nFlashSize=0100\nPacketSize=80\n"
      "ACKVAL=79\nMAPNAME=Sectors\nPagesPerSector=1\nfamily = 6\n\n";
  const char* addresses[] = {"08000000", "08004000", "08008000",
                             "0800C000", "08010000", "08020000"};
  const char* sizes[] = {"4000", "4000", "4000", "4000", "10000", "20000"};
  for (int i = 0; i < 6; ++i) {
    map += "[Sector" + std::to_string(i) + "]\nName=Sector" + std::to_string(i) + "\nIndex=00" +
           std::to_string(i) + "\nAddress=" + addresses[i] + "\nSize=" + sizes[i] +
           "\nType=111\nUFO=111\n\n";
  }
  return map +
         "[OptionBytes]\nName=OptionBytes\nAddress=1FFFC000\nSize=0000010\nType=101\nUFO=111\n";
}

std::string HighDensityMap() {
  std::string map =
      "[Product]\nName=STM32_High-density_256K\nPID=0414\nFlashSize=0100\nRAMSize=0030\n"
      "PacketSize=80\nACKVAL=79\nMAPNAME=Pages\nPagesPerSector=2\nfamily=1\n\n";
  char text[200];
  for (int i = 0; i < 128; ++i) {
    std::snprintf(text, sizeof text,
                  "[Page%d]\nName=Page%d\nIndex=%02X\nAddress=%08X\nSize=00000800\nType=111\n"
                  "UFO=111\n%s",
                  i, i, i, 0x08000000 + i * 0x800, i == 0 ? "\n" : "");
    map += text;
  }
  return map;
}

DeviceMap ReadMap(const std::string& path, uint16_t& packetSize, uint8_t& pagesPerSector) {
  uint16_t count = 0;
  EXPECT_EQ(readDeviceMap(path, count, packetSize, nullptr, pagesPerSector), kImageSuccess);
  DeviceMap map;
  uint16_t filled = 0;
  EXPECT_EQ(readDeviceMap(path, filled, packetSize, &map, pagesPerSector), kImageSuccess);
  EXPECT_EQ(filled, count);
  EXPECT_EQ(map.sectorCount, count);
  EXPECT_EQ(map.sectors.size(), count);
  return map;
}

TEST(DeviceMapRead, HighDensityTemplateHas128PagesInFileOrder) {
  TempDir dir;
  WriteFile(dir / "map.map", HighDensityMap());
  uint16_t packetSize = 0;
  uint8_t pagesPerSector = 0;
  const DeviceMap map = ReadMap(dir / "map.map", packetSize, pagesPerSector);
  ASSERT_EQ(map.sectors.size(), 128u);
  EXPECT_EQ(packetSize, 0x80);
  EXPECT_EQ(pagesPerSector, 2);
  EXPECT_TRUE(IsUsablePacketSize(packetSize));
  for (uint32_t i = 0; i < 128; ++i) {
    const MapSector& page = map.sectors[i];
    EXPECT_EQ(page.name, "Page" + std::to_string(i));
    EXPECT_EQ(page.index, i);
    EXPECT_EQ(page.address, 0x08000000 + i * 0x800);
    EXPECT_EQ(page.size, 0x800u);
    EXPECT_EQ(page.type, 7);
    EXPECT_TRUE(page.selected);
  }
}

TEST(DeviceMapRead, F4TemplateSectorsAndOptionBytes) {
  TempDir dir;
  WriteFile(dir / "map.map", F4Map());
  uint16_t packetSize = 0;
  uint8_t pagesPerSector = 0;
  const DeviceMap map = ReadMap(dir / "map.map", packetSize, pagesPerSector);
  ASSERT_EQ(map.sectors.size(), 7u);
  EXPECT_EQ(packetSize, 0x80);
  EXPECT_EQ(pagesPerSector, 1);
  EXPECT_EQ(map.sectors[5].address, 0x08020000u);
  EXPECT_EQ(map.sectors[5].size, 0x20000u);
  EXPECT_EQ(map.sectors[6].name, "OptionBytes");
  EXPECT_EQ(map.sectors[6].index, 0u);
  EXPECT_EQ(map.sectors[6].size, 0x10u);
  EXPECT_EQ(map.sectors[6].type, 5);
}

TEST(DeviceMapRead, DefaultsAndUnparsableValues) {
  TempDir dir;
  WriteFile(dir / "map.map",
            "[Product]\nName=bare\n[Blank]\n[Odd]\nType=\nAddress=zz\nSize=0x40\n");
  uint16_t packetSize = 0;
  uint8_t pagesPerSector = 9;
  const DeviceMap map = ReadMap(dir / "map.map", packetSize, pagesPerSector);
  EXPECT_EQ(packetSize, 0x100);  // the link cannot use it
  EXPECT_FALSE(IsUsablePacketSize(packetSize));
  EXPECT_EQ(pagesPerSector, 0);
  ASSERT_EQ(map.sectors.size(), 2u);
  EXPECT_EQ(map.sectors[0].type, 7);
  EXPECT_EQ(map.sectors[0].address, 0u);
  EXPECT_EQ(map.sectors[1].type, 0);  // present but empty: no access bits
  EXPECT_EQ(map.sectors[1].address, 0u);
  EXPECT_EQ(map.sectors[1].size, 0x40u);
}

// Bytes this process has read from files so far, as the kernel counts them.
uint64_t BytesReadSoFar() {
  std::ifstream io("/proc/self/io");
  std::string name;
  uint64_t value = 0;
  while (io >> name >> value) {
    if (name == "rchar:") return value;
  }
  return 0;
}

TEST(DeviceMapRead, AMapOfManySectionsIsReadOncePerPassNotOncePerValue) {
  std::string text = "[Product]\nPacketSize=80\n\n";
  char section[160];
  for (int i = 0; i < 512; ++i) {
    std::snprintf(section, sizeof section,
                  "[Page%d]\nIndex=%03X\nAddress=%08X\nSize=00000800\nType=111\n\n", i, i,
                  0x08000000 + i * 0x800);
    text += section;
  }
  TempDir dir;
  WriteFile(dir / "many.map", text);
  uint16_t packetSize = 0;
  uint8_t pagesPerSector = 0;
  const uint64_t before = BytesReadSoFar();
  ASSERT_GT(before, 0u) << "no read count in /proc/self/io";
  const DeviceMap map = ReadMap(dir / "many.map", packetSize, pagesPerSector);
  const uint64_t read = BytesReadSoFar() - before;
  ASSERT_EQ(map.sectors.size(), 512u);
  EXPECT_EQ(map.sectors[511].name, "Page511");
  EXPECT_EQ(map.sectors[511].address, 0x08000000u + 511 * 0x800);
  EXPECT_EQ(map.sectors[511].index, 0x1FFu);
  // Two passes, each parsing the file once (a re-read per value would be
  // thousands of times the file).
  EXPECT_LE(read, 4 * text.size()) << read << " bytes read for a map of " << text.size();
}

TEST(DeviceMapRead, WithoutProductTheCallersValuesStay) {
  TempDir dir;
  WriteFile(dir / "map.map", "[Page0]\nAddress=08000000\nSize=800\n");
  uint16_t packetSize = 0x44;
  uint8_t pagesPerSector = 3;
  const DeviceMap map = ReadMap(dir / "map.map", packetSize, pagesPerSector);
  EXPECT_EQ(map.sectors.size(), 1u);
  EXPECT_EQ(packetSize, 0x44);
  EXPECT_EQ(pagesPerSector, 3);

  uint16_t count = 0;
  EXPECT_EQ(readDeviceMap(dir / "none.map", count, packetSize, nullptr, pagesPerSector),
            kImageFailure);
}

TEST(DeviceMapPlausibility, TemplatesPassDamagedSectorsDoNotAndBuildNoImage) {
  TempDir dir;
  uint16_t packetSize = 0;
  uint8_t pagesPerSector = 0;
  for (const std::string& text : {F4Map(), HighDensityMap()}) {
    WriteFile(dir / "map.map", text);
    EXPECT_EQ(ImplausibleSectorReason(ReadMap(dir / "map.map", packetSize, pagesPerSector)), "");
  }

  DeviceMap map;
  map.sectors = {{"A", 0x08000000, 0, 0x800, 7, true}, {"B", 0x08000800, 1, 0x800, 7, true}};
  EXPECT_EQ(ImplausibleSectorReason(map), "");
  map.sectors[1].address = 0x1FFFF800;  // the last 2 KB below the end: still flash space
  EXPECT_EQ(ImplausibleSectorReason(map), "");
  map.sectors[1].size = 0x801;
  EXPECT_NE(ImplausibleSectorReason(map).find("reaches beyond"), std::string::npos);
  map.sectors[1] = {"B", 0x08000000, 1, 0xFFFFFFFF, 7, true};
  EXPECT_NE(ImplausibleSectorReason(map).find("reaches beyond"), std::string::npos);
  std::unique_ptr<CFirmImage> image;
  EXPECT_EQ(createImageFromMap(map, image), kImageFailure);
  EXPECT_EQ(image, nullptr);
  map.sectors[1] = {"B", 0x080007FF, 1, 0x800, 7, true};
  EXPECT_EQ(ImplausibleSectorReason(map), "sectors [A] and [B] overlap");
  map.sectors[1] = {"B", 0x08000000, 1, 0x800, 7, true};  // the same sector twice
  EXPECT_EQ(ImplausibleSectorReason(map), "sectors [A] and [B] overlap");
}

TEST(DeviceMapPacketSize, OnlyWhatTheLinkCanCarry) {
  EXPECT_FALSE(IsUsablePacketSize(0));
  EXPECT_FALSE(IsUsablePacketSize(3));
  EXPECT_TRUE(IsUsablePacketSize(4));
  EXPECT_TRUE(IsUsablePacketSize(0x80));
  EXPECT_TRUE(IsUsablePacketSize(0xFF));
  EXPECT_FALSE(IsUsablePacketSize(0x100));
  EXPECT_FALSE(IsUsablePacketSize(0x180));
  const std::string message = UnusablePacketSizeMessage(0x100);
  EXPECT_NE(message.find("PacketSize=100"), std::string::npos) << message;
}

DeviceMap Sectors(std::vector<std::pair<uint32_t, uint8_t>> startsAndTypes, uint32_t size) {
  DeviceMap map;
  for (const auto& [address, type] : startsAndTypes) {
    map.sectors.push_back(MapSector{"s", address, 0, size, type, true});
  }
  map.sectorCount = static_cast<uint32_t>(map.sectors.size());
  return map;
}

TEST(DeviceMapFilter, ElementAcrossTwoSectorsIsSplit) {
  const DeviceMap map = Sectors({{0x08000000, 7}, {0x08004000, 7}, {0x08008000, 7}}, 0x4000);
  CFirmImage image;
  const auto bytes = RandomBytes(0x200, 1);
  image.elements.push_back({0x08003F00, 0x200, bytes});
  ASSERT_EQ(filterByMap(image, &map), kImageSuccess);
  ASSERT_EQ(image.elements.size(), 2u);
  EXPECT_EQ(image.elements[0].address, 0x08003F00u);
  EXPECT_EQ(image.elements[0].size, 0x100u);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 0x100, image.elements[0].data.begin()));
  EXPECT_EQ(image.elements[1].address, 0x08004000u);
  EXPECT_EQ(image.elements[1].size, 0x100u);
  EXPECT_TRUE(std::equal(bytes.begin() + 0x100, bytes.end(), image.elements[1].data.begin()));
}

TEST(DeviceMapFilter, OnlySelectedSectorsWithBitZeroReceiveData) {
  // 110 has bit 0 clear, 101 has it set; the third sector is deselected.
  DeviceMap map = Sectors({{0x1000, 0b110}, {0x2000, 0b101}, {0x3000, 7}}, 0x1000);
  map.sectors[2].selected = false;
  CFirmImage image;
  image.elements.push_back({0x1100, 0x10, std::vector<uint8_t>(0x10, 1)});  // only in 110
  image.elements.push_back({0x1F00, 0x200, std::vector<uint8_t>(0x200, 2)});
  image.elements.push_back({0x3000, 0x10, std::vector<uint8_t>(0x10, 3)});
  image.elements.push_back({0x9000, 0x10, std::vector<uint8_t>(0x10, 4)});  // outside the map
  ASSERT_EQ(filterByMap(image, &map), kImageSuccess);
  ASSERT_EQ(image.elements.size(), 1u);
  EXPECT_EQ(image.elements[0].address, 0x2000u);
  EXPECT_EQ(image.elements[0].size, 0x100u);
  EXPECT_EQ(image.elements[0].data, std::vector<uint8_t>(0x100, 2));

  EXPECT_EQ(filterByMap(image, nullptr), kImageFailure);
}

TEST(DeviceMapUpload, ImageFromMapHasOneBlankElementPerSelectedSector) {
  TempDir dir;
  WriteFile(dir / "map.map", F4Map());
  uint16_t packetSize = 0;
  uint8_t pagesPerSector = 0;
  DeviceMap map = ReadMap(dir / "map.map", packetSize, pagesPerSector);
  map.sectors[6].selected = false;  // leave out the option bytes
  std::unique_ptr<CFirmImage> image;
  ASSERT_EQ(createImageFromMap(map, image), kImageSuccess);
  ASSERT_EQ(image->elements.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(image->elements[i].address, map.sectors[i].address);
    EXPECT_EQ(image->elements[i].size, map.sectors[i].size);
    EXPECT_EQ(image->elements[i].data, std::vector<uint8_t>(map.sectors[i].size, 0xFF));
  }
}

}  // namespace
