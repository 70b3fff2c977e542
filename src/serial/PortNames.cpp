#include "serial/PortNames.h"

#include <cstdlib>
#include <string_view>
#include <utility>

#include "base/AsciiCase.h"
#include "serial/PortDevices.h"

namespace pellux {

namespace {
struct PortAlias {
  std::string name;
  std::string path;
};

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// "COM3=/dev/pts/4,COM7=/dev/ttyUSB0"; entries without '=' or a name are skipped.
std::vector<PortAlias> ParsePortMap() {
  std::vector<PortAlias> aliases;
  const char* map = std::getenv("PUPDATE_PORT_MAP");
  if (map == nullptr) return aliases;
  std::string_view rest(map);
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string_view entry = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    const size_t equals = entry.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view name = Trim(entry.substr(0, equals));
    const std::string_view path = Trim(entry.substr(equals + 1));
    if (name.empty() || path.empty()) continue;
    aliases.push_back({std::string(name), std::string(path)});
  }
  return aliases;
}

}  // namespace

std::string ResolvePortName(const std::string& name) {
  for (const PortAlias& alias : ParsePortMap()) {
    if (EqualsIgnoringAsciiCase(alias.name, name)) return alias.path;
  }
  return DevicePathOfPort(name);
}

std::vector<std::string> PortAliasNames() {
  std::vector<std::string> names;
  for (PortAlias& alias : ParsePortMap()) names.push_back(std::move(alias.name));
  return names;
}

}  // namespace pellux
