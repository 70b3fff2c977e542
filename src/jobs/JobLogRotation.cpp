#include "jobs/JobLogRotation.h"

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

void KeepNewestJobLogs(const std::filesystem::path& folder, size_t keep) {
  // The date and time lead the name, so the name order is the age order.
  static const std::regex kLogName(R"(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d_.*\.log)");
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file(ec) && std::regex_match(name, kLogName)) names.push_back(name);
  }
  if (names.size() <= keep) return;
  std::sort(names.begin(), names.end());
  for (size_t i = 0; i + keep < names.size(); ++i) {
    std::filesystem::remove(folder / names[i], ec);
  }
}
