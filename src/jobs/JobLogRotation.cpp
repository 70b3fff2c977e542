#include "jobs/JobLogRotation.h"

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

namespace pellux {

void KeepNewestJobLogs(const std::filesystem::path& folder, size_t keep) {
  // The date and time lead the name, so the name order is the age order.
  static const std::regex kLogName(R"(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d_.*\.log)");
  std::vector<std::string> names;
  std::error_code ec;
  // increment(ec), not ++: a folder that changes under us must not throw.
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (it->is_regular_file(typeError) && std::regex_match(name, kLogName)) {
      names.push_back(name);
    }
  }
  if (names.size() <= keep) return;
  std::sort(names.begin(), names.end());
  for (size_t i = 0; i + keep < names.size(); ++i) {
    std::filesystem::remove(folder / names[i], ec);
  }
}

}  // namespace pellux
