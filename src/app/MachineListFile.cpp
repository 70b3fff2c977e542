#include "app/MachineListFile.h"

#include "base/SplitText.h"

namespace pellux {

std::vector<MachineListEntry> ParseMachineList(const std::string& text) {
  std::vector<MachineListEntry> entries;
  for (const std::string& line : SplitText(text, '\n')) {
    const std::vector<std::string> pieces = SplitText(line, ',');
    if (pieces.size() == 2) entries.push_back({pieces[0], pieces[1]});
  }
  return entries;
}

}  // namespace pellux
