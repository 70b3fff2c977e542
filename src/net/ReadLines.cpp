#include <cstdio>
#include <memory>

#include "base/FileHandle.h"
#include "net/ServerFiles.h"

namespace pellux {

namespace {
// A line, its line feed included, fits a reading buffer of 1024 bytes.
constexpr size_t kMaxLineBytes = 1023;

}  // namespace

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  FileHandle file = OpenFile(path, "r");
  if (!file) return lines;

  std::string line;
  bool tooLong = false;
  int c;
  while ((c = std::getc(file.get())) != EOF) {
    if (c != '\n') {
      // An over-long line is read to its end and left out, so the lines
      // after it are read as they are.
      if (line.size() + 1 >= kMaxLineBytes) {
        tooLong = true;
      } else {
        line += static_cast<char>(c);
      }
      continue;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!tooLong) lines.push_back(line);
    line.clear();
    tooLong = false;
  }
  // Text after the last line feed is not a line.
  return lines;
}

}  // namespace pellux
