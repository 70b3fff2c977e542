// Servo drive setting files: the reader's table matches a small model of the
// file format, and a table it accepts has one name, value and description
// per parameter line.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "boards/SettingFile.h"

using namespace pellux;

namespace {

bool IsSeparator(char c) {
  return c == '\t' || c == ' ' || c == '/';
}

// name '=' value separator(s) description LF; CR LF reads as LF, 0xFF ends the file.
SettingTable Model(const std::string& raw, bool& complete) {
  std::string text;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text += raw[i];
  }
  SettingTable table;
  std::string name, value, description;
  enum { kName, kValue, kGap, kDescription } state = kName;
  for (const char c : text) {
    if (static_cast<unsigned char>(c) == 0xFF) break;
    if (state == kName) {
      if (c == '=') {
        table.names.push_back(name);
        state = kValue;
      }
      name = (c == '=' || c == '\n') ? "" : name + c;
    } else if (state == kValue) {
      if (IsSeparator(c)) {
        table.values.push_back(value);
        value.clear();
        state = kGap;
      } else {
        value += c;
      }
    } else {
      if (state == kGap && IsSeparator(c)) continue;
      state = kDescription;
      if (c == '\n') {
        table.descriptions.push_back(description);
        description.clear();
        state = kName;
      } else if (c != '\r') {
        description += c;
      }
    }
  }
  if (state == kDescription) table.descriptions.push_back(description);
  complete =
      table.names.size() == table.values.size() && table.values.size() == table.descriptions.size();
  return table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietConsole console;
  ActiveConsoleScope scope(console);
  FuzzTempDir dir;
  const std::string path = (dir.path() / "servo.txt").string();
  WriteBytes(path, data, size);

  SettingTable table;
  const bool loaded = LoadSettingFile(path, table);
  bool modelComplete = false;
  const SettingTable model =
      Model(std::string(reinterpret_cast<const char*>(data), size), modelComplete);
  FUZZ_CHECK(loaded == modelComplete, "accepts exactly the complete tables");
  FUZZ_CHECK(table.names == model.names && table.values == model.values &&
                 table.descriptions == model.descriptions,
             "the table matches the model");
  const std::string output = console.Output();
  FUZZ_CHECK(output.ends_with(loaded ? "Load Complete.\r\n" : "Load Failed.\r\n"),
             "the last line tells the result");
  for (const std::string& name : table.names)
    FUZZ_CHECK(name.find('\n') == std::string::npos && name.find('=') == std::string::npos,
               "a name is one piece of one line");
  return 0;
}
