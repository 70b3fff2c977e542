#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pellux {

// The independent programs our image files are checked against.
struct PeerResult {
  int status = -1;
  std::string output;
};

// Runs `program` (looked up on PATH) with `args`; fails the test when it
// cannot be found.
PeerResult RunPeer(const std::string& program, const std::vector<std::string>& args);

// Deterministic pseudo-random bytes.
std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed);

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);

std::string Hex(uint32_t value);

}  // namespace pellux
