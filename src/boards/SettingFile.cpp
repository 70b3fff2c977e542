#include "boards/SettingFile.h"

#include "base/JobConsole.h"
#include "boards/TextModeFile.h"

namespace {

enum class ReadState { kName, kValue, kGap, kDescription };

bool IsSeparator(char c) {
  return c == '\t' || c == ' ' || c == '/';
}

}  // namespace

bool LoadSettingFile(const std::string& path, SettingTable& table) {
  std::string content;
  const bool opened = ReadTextModeFile(path, content);
  ConsolePrintf("Load Setting File : %s\r\n", path.c_str());
  if (!opened) {
    ConsolePrintf("File open failed. %s\r\n", path.c_str());
    return false;
  }

  ReadState state = ReadState::kName;
  std::string collected;
  for (const char c : content) {
    if (static_cast<unsigned char>(c) == 0xFF) break;  // taken as the end of the file
    switch (state) {
      case ReadState::kName:
        if (c == '=') {
          table.names.push_back(collected);
          collected.clear();
          state = ReadState::kValue;
        } else if (c == '\n') {
          collected.clear();
        } else {
          collected.push_back(c);
        }
        break;
      case ReadState::kValue:
        if (IsSeparator(c)) {
          table.values.push_back(collected);
          collected.clear();
          state = ReadState::kGap;
        } else {
          collected.push_back(c);
        }
        break;
      case ReadState::kGap:
        if (IsSeparator(c)) break;
        state = ReadState::kDescription;
        [[fallthrough]];
      case ReadState::kDescription:
        if (c == '\n') {
          table.descriptions.push_back(collected);
          collected.clear();
          state = ReadState::kName;
        } else if (c != '\r') {
          collected.push_back(c);
        }
        break;
    }
  }
  if (state == ReadState::kDescription) table.descriptions.push_back(collected);

  if (table.names.size() == table.values.size() &&
      table.values.size() == table.descriptions.size()) {
    ConsoleWrite("Load Complete.\r\n");
    return true;
  }
  ConsoleWrite("Load Failed.\r\n");
  return false;
}
