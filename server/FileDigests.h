#pragma once

#include <filesystem>
#include <optional>
#include <string>

// MD5 (what filemd5.php answers) and SHA-256 (what a publisher signs) of one
// file, each as lower-case hex digits, computed in one pass over the file.
struct FileDigests {
  std::string md5;
  std::string sha256;
};

// Nothing when the file cannot be read.
std::optional<FileDigests> DigestsOfFile(const std::filesystem::path& path);
