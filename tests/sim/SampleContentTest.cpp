#include <gtest/gtest.h>

#include <filesystem>

#include "ChildProcess.h"
#include "SampleContent.h"
#include "TestFiles.h"

using namespace pellux;

namespace {
int RunTool(const std::string& program, const std::vector<std::string>& args, std::string* out) {
  ChildProcess tool(program, args);
  tool.CloseInput();
  const int status = tool.Wait();
  if (out) *out = tool.Output();
  return status;
}
}  // namespace

TEST(SampleContent, FilesAreReadableByOtherTools) {
  TempDir dir;
  SampleContent content;
  std::string error;
  ASSERT_TRUE(WriteSampleContent((dir.path() / "tree").string(), content, error)) << error;

  // The firmware HEX converts back to the same bytes with srec_cat.
  const std::string hex = (dir.path() / "tree/NR2/FIRMWARE" / content.firmwareFile).string();
  const std::string bin = dir / "fw.bin";
  ASSERT_EQ(RunTool("/usr/bin/srec_cat",
                    {hex, "-intel", "-offset", "-0x08000000", "-o", bin, "-binary"}, nullptr),
            0);
  const std::string back = ReadFile(bin);
  EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.end()), content.firmware);

  // The application package passes Info-ZIP's own test.
  std::string listing;
  EXPECT_EQ(
      RunTool("/usr/bin/unzip",
              {"-t", (dir.path() / "tree/NR2/APPLICATION/FabroSetup_V3.1.zip").string()}, &listing),
      0)
      << listing;
  EXPECT_NE(listing.find("CFG/machine.cfg"), std::string::npos);

  EXPECT_TRUE(std::filesystem::exists(dir.path() / "tree/machlist.txt"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "tree/ETC/Manual.txt"));
}

TEST(SampleContent, HexRecordsNeverCrossA64KBoundary) {
  std::vector<uint8_t> bytes(40, 0xAB);
  const std::string hex = IntelHexOf(0x0800FFF0, bytes);
  // 16 bytes below the boundary, then a new upper address, then the rest.
  EXPECT_NE(hex.find(":020000040800F2\n:10FFF000"), std::string::npos) << hex;
  EXPECT_NE(hex.find(":020000040801F1\n:10000000"), std::string::npos) << hex;
  EXPECT_EQ(hex.substr(hex.size() - 12), ":00000001FF\n");
}

TEST(SampleContent, StepRecordLayout) {
  const auto record = StepRecordOf({{0xA1, 0xA2}, {0xB1}}, {3}, 5);
  const std::vector<uint8_t> expected = {1, 0, 4, 0xA1, 5, 0xA2, 5,           // master
                                         2, 0, 6, 0x06, 5, 0x06, 5, 0x06, 5,  // slave
                                         1, 0, 2, 0xB1, 5};                   // master
  EXPECT_EQ(record, expected);
}
