#include "boards/TextModeFile.h"

#include <fstream>
#include <iterator>

namespace pellux {

bool ReadTextModeFile(const std::string& path, std::string& content) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  const std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  content.clear();
  content.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    content.push_back(raw[i]);
  }
  return true;
}

}  // namespace pellux
