#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "TestFiles.h"
#include "base/Ini.h"

using namespace pellux;

namespace {

class IniTest : public testing::Test {
 protected:
  std::string Write(const std::string& content) {
    WriteFile(dir_ / "settings.ini", content);
    return dir_ / "settings.ini";
  }
  TempDir dir_;
};

TEST_F(IniTest, LookupRulesOfTheProfileFunctions) {
  const CIni ini(
      Write("orphan=before any section\n"
            "[Product]\n"
            "  PacketSize  =  80  \r\n"
            "Name=first\n"
            "NAME=second\n"
            "Quoted=\"  kept blanks  \"\n"
            "Single='x'\n"
            "Unmatched=\"open\n"
            "Equation=a=b\n"
            "Empty=\n"
            "; Hidden=comment\n"
            "  [ Sector0 ]  \n"
            "Size=4000\n"
            "[product]\n"
            "Extra=from the second section\n"));
  EXPECT_EQ(ini.GetString("PRODUCT", "packetsize"), "80");
  EXPECT_EQ(ini.GetString("Product", "Name"), "first");
  EXPECT_EQ(ini.GetString("Product", "Quoted"), "  kept blanks  ");
  EXPECT_EQ(ini.GetString("Product", "Single"), "x");
  EXPECT_EQ(ini.GetString("Product", "Unmatched"), "\"open");
  EXPECT_EQ(ini.GetString("Product", "Equation"), "a=b");
  EXPECT_EQ(ini.GetString("Product", "Empty", "default"), "");
  EXPECT_EQ(ini.GetString("Product", "; Hidden", "none"), "none");
  EXPECT_EQ(ini.GetString("sector0", "Size"), "4000");
  // The first section of a name answers, even for keys it lacks.
  EXPECT_EQ(ini.GetString("Product", "Extra", "absent"), "absent");
  EXPECT_EQ(ini.GetString("Product", "orphan", "absent"), "absent");

  std::vector<std::string> names = {"stale"};
  ini.GetSectionNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"Product", "Sector0", "product"}));
}

TEST_F(IniTest, DefaultsForMissingFileSectionKeyOrName) {
  const CIni missing(dir_ / "none.ini");
  EXPECT_EQ(missing.GetString("a", "b", "dflt"), "dflt");
  EXPECT_EQ(missing.GetUInt("a", "b", 77, 10), 77u);
  EXPECT_FALSE(missing.HasKey("a", "b"));
  std::vector<std::string> names = {"stale"};
  missing.GetSectionNames(names);
  EXPECT_TRUE(names.empty());

  const CIni noPath(std::nullopt);
  EXPECT_EQ(noPath.GetString("a", "b", "dflt"), "dflt");

  const CIni ini(Write("[s]\nk=v\n"));
  EXPECT_EQ(ini.GetString("s", "other"), "");
  EXPECT_EQ(ini.GetString("t", "k", "dflt"), "dflt");
  EXPECT_EQ(ini.GetString(nullptr, "k", "dflt"), "dflt");
  EXPECT_EQ(ini.GetString("s", nullptr), "");
  std::string out = "stale";
  ini.GetString("s", "k", nullptr, out);
  EXPECT_EQ(out, "v");
  ini.GetString("s", "x", "fallback", out);
  EXPECT_EQ(out, "fallback");
}

TEST_F(IniTest, NumbersConvertLikeStrtoul) {
  const CIni ini(
      Write("[n]\nhex=0x1F\nmixed=12abc\nbinary=101\noctal=017\nblank=\nspaced=  42\n"
            "huge=99999999999\nminus=-1\nword=Sectors\n"));
  EXPECT_EQ(ini.GetUInt("n", "hex", 5, 16), 31u);
  EXPECT_EQ(ini.GetUInt("n", "hex", 5, 10), 0u);
  EXPECT_EQ(ini.GetUInt("n", "mixed", 5, 10), 12u);
  EXPECT_EQ(ini.GetUInt("n", "mixed", 5, 7), 12u);  // other bases mean 10
  EXPECT_EQ(ini.GetUInt("n", "binary", 5, 2), 5u);
  EXPECT_EQ(ini.GetUInt("n", "octal", 5, 8), 15u);
  EXPECT_EQ(ini.GetUInt("n", "blank", 5, 10), 5u);
  EXPECT_EQ(ini.GetUInt("n", "absent", 5, 10), 5u);
  EXPECT_EQ(ini.GetUInt("n", "spaced", 5, 10), 42u);
  EXPECT_EQ(ini.GetUInt("n", "huge", 5, 10), 0xFFFFFFFFu);
  EXPECT_EQ(ini.GetUInt("n", "minus", 5, 10), 0xFFFFFFFFu);
  EXPECT_EQ(ini.GetUInt("n", "word", 5, 10), 0u);
  EXPECT_EQ(CIni::ConvertUInt("-2", 10), 0xFFFFFFFEu);
  EXPECT_EQ(CIni::ConvertUInt("- 2", 10), 0u);
  EXPECT_EQ(CIni::ConvertUInt(" 0x80", 16), 0x80u);
}

TEST_F(IniTest, HasKeyAndTheSentinel) {
  const CIni ini(Write(std::string("[s]\nreal=1\nempty=\nfake=") + CIni::KeyAbsentSentinel + "\n"));
  EXPECT_TRUE(ini.HasKey("S", "REAL"));
  EXPECT_TRUE(ini.HasKey("s", "empty"));
  EXPECT_FALSE(ini.HasKey("s", "fake"));
  EXPECT_FALSE(ini.HasKey("s", "none"));
  EXPECT_FALSE(ini.HasKey(nullptr, "real"));
  EXPECT_FALSE(ini.HasKey("s", nullptr));
}

TEST_F(IniTest, ReadsTheFileAfreshAtEachCall) {
  const std::string path = Write("[s]\nk=1\n");
  const CIni ini(path);
  EXPECT_EQ(ini.GetUInt("s", "k", 0, 10), 1u);
  WriteFile(path, "[s]\nk=2\n[t]\n");
  EXPECT_EQ(ini.GetUInt("s", "k", 0, 10), 2u);
  std::vector<std::string> names;
  ini.GetSectionNames(names);
  EXPECT_EQ(names.size(), 2u);
}

TEST_F(IniTest, LongValuesComeBackWhole) {
  const std::string value(5000, 'v');
  const CIni ini(Write("[s]\nk=" + value + "\n"));
  EXPECT_EQ(ini.GetString("s", "k"), value);
}

}  // namespace

TEST(CIni, AChangedFileIsReadAgainByTheSameReader) {
  TempDir dir;
  const std::string path = dir / "settings.ini";
  WriteFile(path, "[S]\nKey=one\n");
  const CIni ini(path);
  EXPECT_EQ(ini.GetString("S", "Key"), "one");
  WriteFile(path, "[S]\nKey=three\n");  // another size
  EXPECT_EQ(ini.GetString("S", "Key"), "three");
  WriteFile(path, "[S]\nKey=seven\n");  // the same size: only the time tells
  std::filesystem::last_write_time(
      path, std::filesystem::last_write_time(path) + std::chrono::seconds(2));
  EXPECT_EQ(ini.GetString("S", "Key"), "seven");
  std::filesystem::remove(path);
  EXPECT_EQ(ini.GetString("S", "Key", "gone"), "gone");
}
