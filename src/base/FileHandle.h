#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace pellux {

// An open C stream that closes itself.
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// fopen into a FileHandle (empty when the file cannot be opened).
inline FileHandle OpenFile(const std::string& path, const char* mode) {
  return FileHandle(std::fopen(path.c_str(), mode));
}

// Closes now and tells whether the buffered data reached the file: a writer
// must check this, since the destructor cannot report a failed flush.
inline bool CloseFile(FileHandle& file) {
  return file && std::fclose(file.release()) == 0;
}

}  // namespace pellux
