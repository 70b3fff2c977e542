#pragma once

#include <filesystem>
#include <string>
#include <system_error>

// How many descriptors of this process are open on `path`. A pseudo-terminal
// pair keeps one of its own on the slave side.
inline int DescriptorsOpenOn(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path target = fs::canonical(path, error);
  if (error) return -1;
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd", error)) {
    std::error_code linkError;
    if (fs::read_symlink(entry.path(), linkError) == target) ++count;
  }
  return count;
}
