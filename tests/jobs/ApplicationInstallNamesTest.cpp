#include <gtest/gtest.h>

#include <string>

#include "jobs/ZipItemInfo.h"
#include "jobs/ZipItemName.h"

using namespace pellux;

TEST(ZipItemName, CleaningKeepsEveryItemBelowTheBase) {
  const std::pair<std::string, std::string> cases[] = {
      {"app/bin/Fabro.exe", "app/bin/Fabro.exe"},
      {"..\\..\\Windows\\x.dll", "Windows/x.dll"},
      {"../../Windows/x.dll", "Windows/x.dll"},
      {"C:\\temp\\a.txt", "temp/a.txt"},
      {"C:/temp/a.txt", "temp/a.txt"},
      {"\\\\server\\share\\f", "server/share/f"},
      {"/etc/passwd", "etc/passwd"},
      {"D:..\\x.txt", "x.txt"},
      {"a/b\\..\\c/../d.txt", "d.txt"},
      {"../x.txt", "x.txt"},
      {"a/..", "a"},
      {"..", ""},
      {"./a/./b", "a/b"},
      {"C:", ""},
      {"a//b", "a/b"},
      {"dir\\", "dir"},
  };
  for (const auto& [stored, expected] : cases) {
    EXPECT_EQ(CleanZipItemName(stored), expected) << stored;
  }
}

TEST(ZipItemName, DriveAndRootHiddenBehindDotComponentsAreRemovedToo) {
  const std::pair<std::string, std::string> cases[] = {
      {"./z:", ""},
      {"./\\c:\\windows\\x", "windows/x"},
      {"./C:/temp/a.txt", "temp/a.txt"},
      {"a/../c:/x", "x"},
      {"..\\./.:\\.", ""},
      {".//..//d:/e", "e"},
  };
  for (const auto& [stored, expected] : cases) {
    const std::string cleaned = CleanZipItemName(stored);
    EXPECT_EQ(cleaned, expected) << stored;
    EXPECT_EQ(CleanZipItemName(cleaned), cleaned) << "cleaning " << stored << " twice";
  }
}

TEST(ZipItemName, TrailingSeparatorNamesAFolder) {
  EXPECT_TRUE(NamesZipFolder("CFG/"));
  EXPECT_TRUE(NamesZipFolder("CFG\\"));
  EXPECT_FALSE(NamesZipFolder("CFG"));
  EXPECT_FALSE(NamesZipFolder(""));
}

TEST(ZipItemInfo, AttributesByHost) {
  // MS-DOS host: read-only and archive from the attribute byte.
  ZipItemAttributes dos = DecodeZipAttributes(0x0014, 0x21, "a.txt");
  EXPECT_TRUE(dos.readOnly);
  EXPECT_TRUE(dos.archive);
  EXPECT_FALSE(dos.directory);
  EXPECT_EQ(dos.unixPermissions, 0u);
  // NTFS and VFAT hosts: hidden, system, directory.
  ZipItemAttributes ntfs = DecodeZipAttributes(0x0A14, 0x16, "d");
  EXPECT_TRUE(ntfs.hidden);
  EXPECT_TRUE(ntfs.system);
  EXPECT_TRUE(ntfs.directory);
  EXPECT_TRUE(DecodeZipAttributes(0x0E14, 0x10, "d").directory);
  // Unix host: the mode decides; the low byte is ignored.
  ZipItemAttributes unix = DecodeZipAttributes(0x031E, (0100444u << 16) | 0x00, "a");
  EXPECT_TRUE(unix.readOnly);
  EXPECT_TRUE(unix.archive);
  EXPECT_EQ(unix.unixPermissions, 0444u);
  EXPECT_FALSE(DecodeZipAttributes(0x031E, (0100644u << 16) | 0x01, "a").readOnly);
  EXPECT_TRUE(DecodeZipAttributes(0x031E, 040755u << 16, "d").directory);
  EXPECT_TRUE(DecodeZipAttributes(0x031E, 0120777u << 16, "l").symbolicLink);
  // A Unix host without a mode is not read-only for lack of one.
  EXPECT_FALSE(DecodeZipAttributes(0x031E, 0, "a").readOnly);
  // A trailing separator is a folder whatever the attributes say.
  EXPECT_TRUE(DecodeZipAttributes(0x031E, 0100644u << 16, "x/").directory);
}

TEST(ZipItemInfo, ExtendedTimestampInLocalAndCentralForm) {
  auto field = [](unsigned flags, std::initializer_list<unsigned> times) {
    std::string data(1, static_cast<char>(flags));
    for (unsigned t : times) {
      for (int i = 0; i < 4; ++i) data += static_cast<char>((t >> (8 * i)) & 0xFF);
    }
    std::string extra = {0x55, 0x54, static_cast<char>(data.size()), 0};
    return extra + data;
  };
  // Another extra field first, then the local form with all three times.
  const std::string other = {0x75, 0x78, 3, 0, 1, 2, 3};
  ZipItemTimes local{1, 1, 1};
  ASSERT_TRUE(ApplyExtendedTimestamp(other + field(7, {1000, 2000, 3000}), local));
  EXPECT_EQ(local.modified, 1000);
  EXPECT_EQ(local.accessed, 2000);
  EXPECT_EQ(local.created, 3000);
  // The central form keeps the flags but carries only the modification time.
  ZipItemTimes central{1, 1, 1};
  ASSERT_TRUE(ApplyExtendedTimestamp(field(3, {981173107}), central));
  EXPECT_EQ(central.modified, 981173107);
  EXPECT_EQ(central.accessed, 1);
  // A field that claims more bytes than there are is ignored.
  ZipItemTimes truncated{1, 1, 1};
  std::string broken = field(1, {5000});
  broken.pop_back();
  EXPECT_FALSE(ApplyExtendedTimestamp(broken, truncated));
  EXPECT_EQ(truncated.modified, 1);
}
