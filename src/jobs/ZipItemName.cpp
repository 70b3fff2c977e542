#include "jobs/ZipItemName.h"

#include <algorithm>
#include <array>

namespace pellux {

namespace {
bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// Applies one cleaning rule; false when none applies any more.
bool StripOnce(std::string& name) {
  if (name.size() >= 2 && name[1] == ':') {
    name.erase(0, 2);
    return true;
  }
  if (!name.empty() && IsSeparator(name[0])) {
    name.erase(0, 1);
    return true;
  }
  static constexpr std::array<std::string_view, 4> kParentSteps = {"\\..\\", "\\../", "/../",
                                                                   "/..\\"};
  size_t first = std::string::npos;
  for (std::string_view step : kParentSteps) first = std::min(first, name.find(step));
  if (first != std::string::npos) {
    name.erase(0, first + 4);
    return true;
  }
  return false;
}

// Joins the components with '/', leaving out empty, "." and ".." ones.
std::string JoinPlainComponents(const std::string& name) {
  std::string joined;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    const std::string_view component = std::string_view(name).substr(start, end - start);
    if (!component.empty() && component != "." && component != "..") {
      if (!joined.empty()) joined += '/';
      joined += component;
    }
    start = end + 1;
  }
  return joined;
}
}  // namespace

std::string CleanZipItemName(std::string_view storedName) {
  // Dropping a "." or ".." component can bring a drive prefix or a separator
  // to the front ("./z:"), so both steps repeat until the name stays as it
  // is: cleaning a clean name then changes nothing. Each round either
  // shortens the name or only turns '\' into '/', so this ends.
  std::string name(storedName);
  for (;;) {
    while (StripOnce(name)) {
    }
    std::string joined = JoinPlainComponents(name);
    if (joined == name) return joined;
    name = std::move(joined);
  }
}

bool NamesZipFolder(std::string_view storedName) {
  return !storedName.empty() && IsSeparator(storedName.back());
}

}  // namespace pellux
