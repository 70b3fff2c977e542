#include <gtest/gtest.h>

#include "CapturingConsole.h"
#include "TestFiles.h"
#include "boards/SettingFile.h"

using namespace pellux;

namespace {

struct Loaded {
  bool ok;
  SettingTable table;
  std::string output;
};

Loaded Load(const std::string& content) {
  TempDir dir;
  const std::string path = dir / "setting.txt";
  WriteFile(path, content);
  CapturingConsole console;
  ScopedActiveConsole active(console);
  Loaded loaded{};
  loaded.ok = LoadSettingFile(path, loaded.table);
  loaded.output = console.Output();
  return loaded;
}

using Strings = std::vector<std::string>;

}  // namespace

TEST(SettingFile, NameValueAndDescriptionOfEachLine) {
  const Loaded loaded = Load("P0-01=2 // control mode\nP1-02=100\t\t/ speed limit\n");
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.table.names, (Strings{"P0-01", "P1-02"}));
  EXPECT_EQ(loaded.table.values, (Strings{"2", "100"}));
  EXPECT_EQ(loaded.table.descriptions, (Strings{"control mode", "speed limit"}));
  EXPECT_NE(loaded.output.find("Load Setting File : "), std::string::npos);
  EXPECT_NE(loaded.output.find("setting.txt\r\nLoad Complete.\r\n"), std::string::npos);
}

TEST(SettingFile, LinesWithoutEqualsSignAddNothing) {
  const Loaded loaded = Load("CSD setting\n\nP0-01=2 mode\n\n# end\n");
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.table.names, Strings{"P0-01"});
  EXPECT_EQ(loaded.table.descriptions, Strings{"mode"});
}

TEST(SettingFile, CarriageReturnsOfWindowsLinesAreDropped) {
  const Loaded loaded = Load("Title\r\nP0-01=2 // control mode\r\nP0-02=5 gain\r\n");
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.table.names, (Strings{"P0-01", "P0-02"}));
  EXPECT_EQ(loaded.table.descriptions, (Strings{"control mode", "gain"}));
}

TEST(SettingFile, LastLineWithoutLineFeedIsStored) {
  const Loaded loaded = Load("P0-01=2 mode\nP0-02=7 last");
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.table.values, (Strings{"2", "7"}));
  EXPECT_EQ(loaded.table.descriptions, (Strings{"mode", "last"}));
}

TEST(SettingFile, ValueWithoutSeparatorRunsIntoTheNextLine) {
  const Loaded loaded = Load("P0-01=2\nP0-02=5 gain\n");
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.table.names, Strings{"P0-01"});
  EXPECT_EQ(loaded.table.values, Strings{"2\nP0-02=5"});
  EXPECT_EQ(loaded.table.descriptions, Strings{"gain"});
}

TEST(SettingFile, LastValueWithoutSeparatorOrLineFeedFails) {
  const Loaded loaded = Load("P0-01=2 mode\nP0-02=5");
  EXPECT_FALSE(loaded.ok);
  EXPECT_NE(loaded.output.find("Load Failed.\r\n"), std::string::npos);
  EXPECT_EQ(loaded.output.find("Load Complete."), std::string::npos);
}

TEST(SettingFile, SeparatorRightBeforeLineFeedGivesEmptyDescription) {
  const Loaded loaded = Load("P0-01=2 \nP0-02=3\t\n");
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.table.values, (Strings{"2", "3"}));
  EXPECT_EQ(loaded.table.descriptions, (Strings{"", ""}));
}

TEST(SettingFile, ByteFFEndsTheFile) {
  const Loaded loaded = Load("P0-01=2 mode\n\xFFP0-02=3 ignored\n");
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.table.names, Strings{"P0-01"});
}

TEST(SettingFile, MissingFileIsReported) {
  SettingTable table;
  CapturingConsole console;
  ScopedActiveConsole active(console);
  EXPECT_FALSE(LoadSettingFile("/nonexistent/setting.txt", table));
  EXPECT_EQ(console.Output(),
            "Load Setting File : /nonexistent/setting.txt\r\n"
            "File open failed. /nonexistent/setting.txt\r\n");
}
