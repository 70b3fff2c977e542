#include "boards/MapTemplates.h"

#include <cstdio>

namespace pellux {

namespace {
constexpr std::string_view kF4Map =
    "[Product]\nName=STM32F4_01_256K\nPID=0423\nBID=1FFF76DE\nFlashSize=0100\nPacketSize=80\n"
    "ACKVAL=79\nMAPNAME=Sectors\nPagesPerSector=1\nfamily = 6\n\n"
    "[Sector0]\nName=Sector0\nIndex=000\nAddress=08000000\nSize=4000\nType=111\nUFO=111\n\n"
    "[Sector1]\nName=Sector1\nIndex=001\nAddress=08004000\nSize=4000\nType=111\nUFO=111\n\n"
    "[Sector2]\nName=Sector2\nIndex=002\nAddress=08008000\nSize=4000\nType=111\nUFO=111\n\n"
    "[Sector3]\nName=Sector3\nIndex=003\nAddress=0800C000\nSize=4000\nType=111\nUFO=111\n\n"
    "[Sector4]\nName=Sector4\nIndex=004\nAddress=08010000\nSize=10000\nType=111\nUFO=111\n\n"
    "[Sector5]\nName=Sector5\nIndex=005\nAddress=08020000\nSize=20000\nType=111\nUFO=111\n\n"
    "[OptionBytes]\nName=OptionBytes\nAddress=1FFFC000\nSize=0000010\nType=101\nUFO=111\n";

constexpr std::string_view kHighDensityProduct =
    "[Product]\nName=STM32_High-density_256K\nPID=0414\nFlashSize=0100\nRAMSize=0030\n"
    "PacketSize=80\nACKVAL=79\nMAPNAME=Pages\nPagesPerSector=2\nfamily=1\n\n";

std::string BuildHighDensityMap() {
  std::string map(kHighDensityProduct);
  for (unsigned page = 0; page < 128; ++page) {
    char section[160];
    std::snprintf(section, sizeof section,
                  "[Page%u]\nName=Page%u\nIndex=%02X\nAddress=%08X\nSize=00000800\nType=111\n"
                  "UFO=111\n",
                  page, page, page, 0x08000000u + page * 0x800u);
    map += section;
    if (page == 0) map += '\n';
  }
  return map;
}
}  // namespace

std::string_view F4MapTemplate() {
  return kF4Map;
}

const std::string& HighDensityMapTemplate() {
  static const std::string map = BuildHighDensityMap();
  return map;
}

}  // namespace pellux
