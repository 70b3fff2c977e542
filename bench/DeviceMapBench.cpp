// Reading a device map of many sections, both passes as the flash loader
// does them (count, then fill). The map is parsed once per pass, so the
// time grows with the file's size, not with its square.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "images/DeviceMap.h"
#include "images/FirmImage.h"

using namespace pellux;

namespace {

std::string MapPath(int sections) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("pupdate-map-bench-" + std::to_string(sections) + ".map"))
                               .string();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "[Product]\nName=Bench\nPacketSize=80\nPagesPerSector=1\n\n";
  char section[200];
  for (int i = 0; i < sections; ++i) {
    std::snprintf(section, sizeof section,
                  "[Page%d]\nName=Page%d\nIndex=%03X\nAddress=%08X\nSize=00000800\nType=111\n"
                  "UFO=111\n\n",
                  i, i, i, 0x08000000 + i * 0x800);
    out << section;
  }
  return path;
}

void BM_ReadDeviceMap(benchmark::State& state) {
  const std::string path = MapPath(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    uint16_t count = 0, packetSize = 0;
    uint8_t pagesPerSector = 0;
    readDeviceMap(path, count, packetSize, nullptr, pagesPerSector);
    DeviceMap map;
    if (readDeviceMap(path, count, packetSize, &map, pagesPerSector) != kImageSuccess ||
        map.sectors.size() != static_cast<size_t>(state.range(0)))
      state.SkipWithError("the map did not read");
    benchmark::DoNotOptimize(map);
  }
  std::filesystem::remove(path);
}

}  // namespace

BENCHMARK(BM_ReadDeviceMap)
    ->Arg(128)
    ->Arg(512)
    ->Arg(1024)
    ->Arg(2048)
    ->Unit(benchmark::kMillisecond);
