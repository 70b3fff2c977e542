#include "app/FileSelection.h"

namespace pellux {

std::vector<std::string> OfferedFiles(const std::vector<std::string>& listLines) {
  if (listLines.size() < 2) return {};
  return {listLines.begin() + 1, listLines.end()};
}

std::optional<std::vector<std::string>> SelectedFileJob(const std::string& jobSpec,
                                                        const std::vector<std::string>& fileNames,
                                                        std::optional<size_t> selected) {
  if (!selected || *selected >= fileNames.size()) return std::nullopt;
  return std::vector<std::string>{jobSpec, fileNames[*selected]};
}

}  // namespace pellux
