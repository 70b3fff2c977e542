#include "jobs/ZipItemName.h"

#include <algorithm>
#include <array>

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
}  // namespace

std::string CleanZipItemName(std::string_view storedName) {
  std::string name(storedName);
  while (StripOnce(name)) {
  }
  // The rules above leave a leading "../", a trailing "/.." or a bare "..";
  // those components must not reach the file system either.
  std::string cleaned;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    const std::string_view component = std::string_view(name).substr(start, end - start);
    if (!component.empty() && component != "." && component != "..") {
      if (!cleaned.empty()) cleaned += '/';
      cleaned += component;
    }
    start = end + 1;
  }
  return cleaned;
}

bool NamesZipFolder(std::string_view storedName) {
  return !storedName.empty() && IsSeparator(storedName.back());
}
