// Machine lists from the server: the entries match a small model (lines at
// LF, exactly two comma pieces, nothing trimmed, no empty last piece).
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "app/MachineListFile.h"

using namespace pellux;

namespace {

std::vector<std::string> Pieces(const std::string& text, char delimiter) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find(delimiter, start);
    if (end == std::string::npos) {
      pieces.push_back(text.substr(start));
      break;
    }
    pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<MachineListEntry> entries = ParseMachineList(text);
  std::vector<MachineListEntry> model;
  for (const std::string& line : Pieces(text, '\n')) {
    const std::vector<std::string> pieces = Pieces(line, ',');
    if (pieces.size() == 2) model.push_back({pieces[0], pieces[1]});
  }
  FUZZ_CHECK(entries.size() == model.size(), "entry count matches the model");
  for (size_t i = 0; i < entries.size(); ++i) {
    FUZZ_CHECK(entries[i].displayName == model[i].displayName && entries[i].key == model[i].key,
               "entries match the model");
    FUZZ_CHECK(entries[i].key.find(',') == std::string::npos, "a key holds no comma");
  }
  return 0;
}
