#include "app/OpenFileFilter.h"

#include "base/SplitText.h"

namespace pellux {

std::vector<OpenFileFilterEntry> SplitOpenFileFilter(const std::string& filter) {
  std::vector<OpenFileFilterEntry> entries;
  const std::vector<std::string> pieces = SplitText(filter, '|');
  for (size_t i = 0; i + 1 < pieces.size() && !pieces[i].empty(); i += 2) {
    entries.push_back({pieces[i], pieces[i + 1]});
  }
  return entries;
}

}  // namespace pellux
