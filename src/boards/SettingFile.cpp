#include "boards/SettingFile.h"

#include "base/JobConsole.h"
#include "boards/TextModeFile.h"

namespace pellux {

namespace {

enum class ReadState { Name, Value, Gap, Description };

bool IsSeparator(char c) {
  return c == '\t' || c == ' ' || c == '/';
}

}  // namespace

bool LoadSettingFile(const std::string& path, SettingTable& table, JobConsole& console) {
  std::string content;
  const bool opened = ReadTextModeFile(path, content);
  console.Printf("Load Setting File : %s\r\n", path.c_str());
  if (!opened) {
    console.Printf("File open failed. %s\r\n", path.c_str());
    return false;
  }

  ReadState state = ReadState::Name;
  std::string collected;
  for (const char c : content) {
    if (static_cast<unsigned char>(c) == 0xFF) break;  // taken as the end of the file
    switch (state) {
      case ReadState::Name:
        if (c == '=') {
          table.names.push_back(collected);
          collected.clear();
          state = ReadState::Value;
        } else if (c == '\n') {
          collected.clear();
        } else {
          collected.push_back(c);
        }
        break;
      case ReadState::Value:
        if (IsSeparator(c)) {
          table.values.push_back(collected);
          collected.clear();
          state = ReadState::Gap;
        } else {
          collected.push_back(c);
        }
        break;
      case ReadState::Gap:
        if (IsSeparator(c)) break;
        state = ReadState::Description;
        [[fallthrough]];
      case ReadState::Description:
        if (c == '\n') {
          table.descriptions.push_back(collected);
          collected.clear();
          state = ReadState::Name;
        } else if (c != '\r') {
          collected.push_back(c);
        }
        break;
    }
  }
  if (state == ReadState::Description) table.descriptions.push_back(collected);

  if (table.names.size() == table.values.size() &&
      table.values.size() == table.descriptions.size()) {
    console.Write("Load Complete.\r\n");
    return true;
  }
  console.Write("Load Failed.\r\n");
  return false;
}

bool LoadSettingFile(const std::string& path, SettingTable& table) {
  return LoadSettingFile(path, table, ActiveConsole());
}

}  // namespace pellux
