// Loading a large Intel HEX file: the whole file is read once and parsed in
// memory. PUPDATE_BENCH_HEX names a file to load instead of the generated one
// (bench/image-load-vs-srec_cat.sh uses it to compare with srec_cat).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "images/FirmImage.h"

using namespace pellux;

namespace {

// About 8 MB of HEX text: 3.5 MB of data in 32-byte records.
constexpr size_t kDataBytes = 3500 * 1024;

std::string MakeHexText() {
  CFirmImage image;
  ImageElement element;
  element.address = 0x08000000;
  element.data.resize(kDataBytes);
  std::mt19937 generator(1);
  for (uint8_t& byte : element.data) byte = static_cast<uint8_t>(generator());
  element.size = static_cast<uint32_t>(element.data.size());
  image.elements.push_back(std::move(element));
  return image.toIntelHex();
}

const std::string& HexPath() {
  static const std::string path = [] {
    if (const char* given = std::getenv("PUPDATE_BENCH_HEX")) return std::string(given);
    const std::string generated =
        (std::filesystem::temp_directory_path() / "pupdate-image-bench.hex").string();
    std::ofstream(generated, std::ios::binary) << MakeHexText();
    return generated;
  }();
  return path;
}

void BM_LoadHexFile(benchmark::State& state) {
  const std::string& path = HexPath();
  const auto fileBytes = std::filesystem::file_size(path);
  for (auto _ : state) {
    std::unique_ptr<CFirmImage> image;
    if (loadImageFile(path, image) != kImageSuccess) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(image);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fileBytes));
}
BENCHMARK(BM_LoadHexFile)->Unit(benchmark::kMillisecond);

void BM_ParseHexText(benchmark::State& state) {
  const std::string text = MakeHexText();
  for (auto _ : state) {
    CFirmImage image;
    benchmark::DoNotOptimize(image.readIntelHex(text));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseHexText)->Unit(benchmark::kMillisecond);

void BM_WriteHexText(benchmark::State& state) {
  CFirmImage image;
  image.readIntelHex(MakeHexText());
  for (auto _ : state) benchmark::DoNotOptimize(image.toIntelHex());
}
BENCHMARK(BM_WriteHexText)->Unit(benchmark::kMillisecond);

}  // namespace
