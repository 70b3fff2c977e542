#include <gtest/gtest.h>

#include <sstream>

#include "PeerTools.h"
#include "TestFiles.h"
#include "images/FirmImage.h"

using namespace pellux;

namespace {

// Builds one record by the public format rules, so tests can state exact
// file contents (and break them on purpose).
std::string SRecord(char type, const std::vector<uint8_t>& addressAndData) {
  const uint8_t count = static_cast<uint8_t>(addressAndData.size() + 1);
  unsigned sum = count;
  std::string line = std::string("S") + type;
  char text[3];
  std::snprintf(text, sizeof text, "%02X", count);
  line += text;
  for (uint8_t byte : addressAndData) {
    std::snprintf(text, sizeof text, "%02X", byte);
    line += text;
    sum += byte;
  }
  std::snprintf(text, sizeof text, "%02X", static_cast<uint8_t>(~sum));
  return line + text + "\n";
}

std::string HexRecord(uint8_t type, uint16_t offset, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()),
                                static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset),
                                type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  std::string line = ":";
  char text[3];
  for (uint8_t byte : bytes) {
    std::snprintf(text, sizeof text, "%02X", byte);
    line += text;
    sum += byte;
  }
  std::snprintf(text, sizeof text, "%02X", static_cast<uint8_t>(-sum));
  return line + text + "\n";
}

std::vector<uint8_t> With(std::vector<uint8_t> head, const std::vector<uint8_t>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(FirmImageRead, ContiguousSRecordsBecomeOneElement) {
  const auto first = RandomBytes(32, 1), second = RandomBytes(32, 2);
  CFirmImage image;
  ASSERT_TRUE(image.readSRecords(
      SRecord('0', {0, 0, 'h', 'i'}) + SRecord('3', With({0x08, 0, 0, 0x00}, first)) +
      SRecord('3', With({0x08, 0, 0, 0x20}, second)) + SRecord('7', {0x08, 0, 0, 0})))
      << image.errorText;
  ASSERT_EQ(image.elements.size(), 1u);
  EXPECT_EQ(image.elements[0].address, 0x08000000u);
  EXPECT_EQ(image.elements[0].size, 64u);
  EXPECT_TRUE(image.elements[0].data == With(first, second));
}

TEST(FirmImageRead, HexRecordsOutOfOrderAreSortedThenMerged) {
  const auto a = RandomBytes(16, 3), b = RandomBytes(16, 4), c = RandomBytes(8, 5);
  CFirmImage image;
  ASSERT_TRUE(image.readIntelHex(HexRecord(4, 0, {0x08, 0x00}) + HexRecord(0, 0x0010, b) +
                                 HexRecord(0, 0x0000, a) + HexRecord(0, 0x0100, c) +
                                 HexRecord(1, 0, {})))
      << image.errorText;
  ASSERT_EQ(image.elements.size(), 2u);
  EXPECT_EQ(image.elements[0].address, 0x08000000u);
  EXPECT_TRUE(image.elements[0].data == With(a, b));
  EXPECT_EQ(image.elements[1].address, 0x08000100u);
  EXPECT_TRUE(image.elements[1].data == c);
}

TEST(FirmImageRead, SegmentAndLinearBasesBothCount) {
  CFirmImage image;
  ASSERT_TRUE(image.readIntelHex(HexRecord(2, 0, {0x10, 0x00}) + HexRecord(0, 0x0004, {1, 2}) +
                                 HexRecord(4, 0, {0x00, 0x02}) + HexRecord(0, 0x0004, {3}) +
                                 HexRecord(3, 0, {0, 0, 0, 0}) + HexRecord(5, 0, {8, 0, 0, 0})));
  ASSERT_EQ(image.elements.size(), 2u);
  EXPECT_EQ(image.elements[0].address, 0x10004u);
  EXPECT_EQ(image.elements[1].address, 0x30004u);
}

TEST(FirmImageRead, StopsAtTheTerminationRecord) {
  CFirmImage srec;
  EXPECT_TRUE(srec.readSRecords(SRecord('1', {0x12, 0x34, 0xAA}) + "S9030000FC\nnot a record\n"));
  ASSERT_EQ(srec.elements.size(), 1u);
  EXPECT_EQ(srec.elements[0].address, 0x1234u);
  CFirmImage hex;
  EXPECT_TRUE(hex.readIntelHex(HexRecord(0, 0x10, {0xBB}) + ":00000001FF\n:garbage"));
  ASSERT_EQ(hex.elements.size(), 1u);
  // Without any termination record the file is complete at its end.
  CFirmImage open;
  EXPECT_TRUE(open.readSRecords(SRecord('2', {0x01, 0x00, 0x00, 0xCC})));
  EXPECT_EQ(open.elements.at(0).address, 0x10000u);
  CFirmImage s9With24BitAddress;
  EXPECT_TRUE(s9With24BitAddress.readSRecords(SRecord('9', {0, 0, 0})));
}

struct BadFile {
  const char* name;
  bool hex;
  std::string text;
  const char* error;
};

class RejectsBadFile : public testing::TestWithParam<BadFile> {};

TEST_P(RejectsBadFile, WithItsErrorText) {
  const BadFile& bad = GetParam();
  CFirmImage image;
  EXPECT_FALSE(bad.hex ? image.readIntelHex(bad.text) : image.readSRecords(bad.text));
  EXPECT_FALSE(image.valid);
  EXPECT_EQ(image.errorText, bad.error);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, RejectsBadFile,
    testing::Values(
        BadFile{"SChecksum", false, "S0030000FC\r\n\r\nS1050000AABB00\r\n",
                "FILE : line 3: Checksum error!"},
        BadFile{"SStrayCharacter", false, "S1040000AA51\nX",
                "FILE : line 2: Not in Motorola S19 format!"},
        BadFile{"SReservedType", false, "S4030000FC\n",
                "FILE : line 1: Not in Motorola S19 format!"},
        BadFile{"STruncated", false, "S1050000AA", "FILE : line 1: Not in Motorola S19 format!"},
        BadFile{"SNotHex", false, "S1040000ZZ00\n", "FILE : line 1: Not in Motorola S19 format!"},
        BadFile{"SCountBelowAddress", false, "S102FFFF\n",
                "FILE : line 1: Not in Motorola S19 format!"},
        BadFile{"S5Count", false, "S5040000FFFC\n", "FILE : line 1: S5 line 'byte count' error!"},
        BadFile{"S7Count", false, "S704000000FB\n", "FILE : line 1: S7 line 'byte count' error!"},
        BadFile{"S8Count", false, "S8030000FC\n", "FILE : line 1: S8 line 'byte count' error!"},
        BadFile{"S9Count", false, "S90500000000FA\n", "FILE : line 1: S9 line 'byte count' error!"},
        BadFile{"S9Checksum", false, "S9030000FD\n", "FILE : line 1: Checksum error!"},
        BadFile{"HexChecksum", true, ":0100000041BE\n:0100000041BF\n",
                "FILE : line 2: Bad hexadecimal checksum!"},
        BadFile{"HexUnknownType", true, ":00000006FA\n", "FILE : line 1: Not in Intel Hex format!"},
        BadFile{"HexStrayCharacter", true, "\n\n;comment\n",
                "FILE : line 3: Not in Intel Hex format!"},
        BadFile{"HexTruncated", true, ":10000000AABB", "FILE : line 1: Not in Intel Hex format!"},
        BadFile{"HexShortBase", true, ":0100000408F3\n",
                "FILE : line 1: Not in Intel Hex format!"}),
    [](const testing::TestParamInfo<BadFile>& info) { return info.param.name; });

TEST(FirmImageFiles, ExtensionDecidesTheFormat) {
  TempDir dir;
  const std::string records = SRecord('1', {0x00, 0x10, 0x5A}) + "S9030000FC\n";
  WriteFile(dir / "lower.s19", records);
  std::unique_ptr<CFirmImage> image;
  EXPECT_EQ(loadImageFile(dir / "lower.s19", image), kImageSuccess);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->elements.at(0).address, 0x10u);
  // The other usual names of S-record files.
  for (const char* name : {"a.srec", "a.S28", "a.s37", "a.MOT"}) {
    WriteFile(dir / name, records);
    EXPECT_EQ(loadImageFile(dir / name, image), kImageSuccess) << name;
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->elements.at(0).data, std::vector<uint8_t>{0x5A}) << name;
  }

  WriteFile(dir / "other.ihex", records);
  std::string error;
  EXPECT_EQ(loadImageFile(dir / "other.ihex", image, &error), kImageFileError);
  EXPECT_EQ(image, nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(loadImageFile(dir / "missing.hex", image), kImageFileError);
  EXPECT_EQ(image, nullptr);
  // A parse failure returns no image either.
  WriteFile(dir / "broken.hex", ":zz\n");
  EXPECT_EQ(loadImageFile(dir / "broken.hex", image, &error), kImageFileError);
  EXPECT_EQ(error, "FILE : line 1: Not in Intel Hex format!");

  CFirmImage empty;
  EXPECT_EQ(saveImageFile(dir / "out.ihex", empty), kImageFailure);
  EXPECT_EQ(saveImageFile(dir / "no-such-dir/out.hex", empty), kImageFailure);
}

TEST(FirmImageFiles, BinaryFilesStartAtFlashAndConcatenateOnWrite) {
  TempDir dir;
  const auto bytes = RandomBytes(777, 6);
  WriteBytes(dir / "fw.Bin", bytes);
  std::unique_ptr<CFirmImage> image;
  ASSERT_EQ(loadImageFile(dir / "fw.Bin", image), kImageSuccess);
  ASSERT_EQ(image->elements.size(), 1u);
  EXPECT_EQ(image->elements[0].address, 0x08000000u);
  EXPECT_TRUE(image->elements[0].data == bytes);

  CFirmImage two;
  two.elements.push_back({0x100, 2, {1, 2}});
  two.elements.push_back({0x900, 3, {3, 4, 5}});
  ASSERT_EQ(saveImageFile(dir / "two.bin", two), kImageSuccess);
  EXPECT_TRUE(ReadBytes(dir / "two.bin") == (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

TEST(FirmImageWrite, RecordKindFollowsTheHighestAddress) {
  CFirmImage s1;
  s1.elements.push_back({0xFFFF, 1, {0x42}});
  EXPECT_EQ(Lines(s1.toSRecords()), (std::vector<std::string>{"S104FFFF42BB", "S9030000FC"}));

  CFirmImage s2;
  s2.elements.push_back({0xFFFF, 2, {0x42, 0x43}});
  EXPECT_EQ(Lines(s2.toSRecords()), (std::vector<std::string>{"S20600FFFF424376", "S804000000FB"}));

  CFirmImage s3;
  s3.elements.push_back({0x01000000, 1, {0x00}});
  EXPECT_EQ(Lines(s3.toSRecords()),
            (std::vector<std::string>{"S3060100000000F8", "S70500000000FA"}));
}

TEST(FirmImageWrite, HundredByteHexElement) {
  CFirmImage image;
  image.elements.push_back({0x08000000, 100, RandomBytes(100, 7)});
  const auto lines = Lines(image.toIntelHex());
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], ":020000020000FC");
  EXPECT_EQ(lines[1], ":020000040800F2");
  EXPECT_EQ(lines[2].substr(0, 9), ":20000000");
  EXPECT_EQ(lines[3].substr(0, 9), ":20002000");
  EXPECT_EQ(lines[4].substr(0, 9), ":20004000");
  EXPECT_EQ(lines[5].substr(0, 9), ":04006000");
  EXPECT_EQ(lines[6], ":00000001FF");
}

TEST(FirmImageWrite, HexRepeatsTheAddressEvery256RecordsAndAt64KBoundaries) {
  CFirmImage image;
  // 400 records from 0x0800D000: the upper address is repeated after 256
  // records (0x0800F000) and changes at 0x08010000.
  image.elements.push_back({0x0800D000, 400 * 32, std::vector<uint8_t>(400 * 32, 0x11)});
  std::vector<std::string> addresses;
  for (const std::string& line : Lines(image.toIntelHex())) {
    if (line.starts_with(":02000004")) addresses.push_back(line);
  }
  EXPECT_EQ(addresses,
            (std::vector<std::string>{":020000040800F2", ":020000040800F2", ":020000040801F1"}));
}

TEST(FirmImageElements, AccessAndEditing) {
  std::unique_ptr<CFirmImage> image;
  ASSERT_EQ(createImage(image), kImageSuccess);
  ASSERT_TRUE(image->valid);
  const std::vector<uint8_t> bytes = {1, 2, 3};
  EXPECT_TRUE(setElement(*image, 0, true, 0x200, bytes));
  EXPECT_TRUE(setElement(*image, 0, true, 0x100, std::vector<uint8_t>{9}));
  EXPECT_FALSE(setElement(*image, 3, true, 0x300, bytes));
  EXPECT_FALSE(setElement(*image, 2, false, 0x300, bytes));
  size_t count = 0;
  ASSERT_TRUE(elementCount(*image, count));
  EXPECT_EQ(count, 2u);

  ImageElement element;
  ASSERT_TRUE(getElement(*image, 1, element, false));
  EXPECT_EQ(element.address, 0x200u);
  EXPECT_EQ(element.size, 3u);
  EXPECT_TRUE(element.data.empty());
  ASSERT_TRUE(getElement(*image, 1, element, true));
  EXPECT_EQ(element.data, bytes);
  EXPECT_FALSE(getElement(*image, 2, element, true));

  EXPECT_TRUE(setElement(*image, 1, false, 0x400, std::vector<uint8_t>{7, 7}));
  EXPECT_EQ(image->elements[1].address, 0x400u);
  EXPECT_EQ(image->elements[1].size, 2u);
  EXPECT_TRUE(removeElement(*image, 0));
  EXPECT_FALSE(removeElement(*image, 1));
  ASSERT_TRUE(elementCount(*image, count));
  EXPECT_EQ(count, 1u);

  EXPECT_TRUE(setImageName(*image, "upload.hex"));
  EXPECT_TRUE(image->hasName);
  EXPECT_EQ(image->name, "upload.hex");

  // Every operation on an invalid image fails.
  CFirmImage invalid;
  EXPECT_FALSE(invalid.readIntelHex("x"));
  EXPECT_FALSE(elementCount(invalid, count));
  EXPECT_FALSE(setElement(invalid, 0, true, 0, bytes));
  EXPECT_FALSE(setImageName(invalid, "x"));
  EXPECT_EQ(saveImageFile("unused.hex", invalid), kImageFailure);
}

}  // namespace
