#include "PeerTools.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "ChildProcess.h"
#include "TestFiles.h"

namespace pellux {

namespace {

std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::filesystem::path candidate =
        std::filesystem::path(dirs.substr(start, end - start)) / program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    start = end + 1;
  }
  return "";
}

}  // namespace

PeerResult RunPeer(const std::string& program, const std::vector<std::string>& args) {
  PeerResult result;
  const std::string found = FindOnPath(program);
  EXPECT_FALSE(found.empty()) << program << " is not installed (scripts/install-deps.sh)";
  if (found.empty()) return result;
  ChildProcess child(found, args);
  child.CloseInput();
  result.status = child.Wait(std::chrono::seconds(30));
  result.output = child.Output();
  return result;
}

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 generator(seed);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(generator());
  return bytes;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  const std::string content = ReadFile(path);
  return std::vector<uint8_t>(content.begin(), content.end());
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

}  // namespace pellux
