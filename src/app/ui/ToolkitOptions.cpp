#include "app/ui/ToolkitOptions.h"

#include <array>

namespace pellux {

bool IsToolkitOption(std::string_view argument) {
  // The options QGuiApplication and QApplication document.
  static constexpr std::array<std::string_view, 18> kOptions = {
      "platform",      "platformpluginpath",
      "platformtheme", "plugin",
      "qmljsdebugger", "qwindowgeometry",
      "qwindowicon",   "qwindowtitle",
      "reverse",       "session",
      "display",       "geometry",
      "style",         "stylesheet",
      "widgetcount",   "nograb",
      "dograb",        "sync"};
  if (argument.size() < 2 || argument[0] != '-') return false;
  argument.remove_prefix(argument.starts_with("--") ? 2 : 1);
  const size_t equals = argument.find('=');
  if (equals != std::string_view::npos) argument = argument.substr(0, equals);
  for (std::string_view option : kOptions) {
    if (argument == option) return true;
  }
  return false;
}

std::string ToolkitPlatform(int argc, const char* const* argv) {
  std::string platform;
  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    if (!argument.starts_with("-")) continue;
    argument.remove_prefix(argument.starts_with("--") ? 2 : 1);
    if (argument == "platform" && i + 1 < argc) {
      platform = argv[++i];
    } else if (argument.starts_with("platform=")) {
      platform = std::string(argument.substr(9));
    }
  }
  return platform;
}

}  // namespace pellux
