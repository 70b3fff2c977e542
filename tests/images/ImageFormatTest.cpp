#include "images/ImageFormat.h"

#include <gtest/gtest.h>

using namespace pellux;

TEST(ImageFormat, ChosenByExtensionInAnyCase) {
  const ImageFormat* hex = ImageFormatOfPath("dir.s19/fw.HeX");
  const ImageFormat* srec = ImageFormatOfPath("fw.s19");
  const ImageFormat* bin = ImageFormatOfPath("/x/fw.bin");
  ASSERT_NE(hex, nullptr);
  ASSERT_NE(srec, nullptr);
  ASSERT_NE(bin, nullptr);
  EXPECT_NE(hex, srec);
  for (const char* name : {"a.SREC", "a.s28", "a.S37", "a.mot"}) {
    EXPECT_EQ(ImageFormatOfPath(name), srec) << name;
  }
  EXPECT_TRUE(hex->CarriesAddresses());
  EXPECT_TRUE(srec->CarriesAddresses());
  EXPECT_FALSE(bin->CarriesAddresses());
  for (const char* name : {"fw", "fw.hex.txt", "fw.elf", ".hex", "fw.h"}) {
    EXPECT_EQ(ImageFormatOfPath(name), nullptr) << name;
  }
}

TEST(ImageFormat, EachFormatReadsWhatItWrites) {
  ImageElement element;
  element.address = 0x0800FFF0;  // crosses a 64 KB boundary
  for (int i = 0; i < 40; ++i) element.data.push_back(static_cast<uint8_t>(i * 7));
  element.size = static_cast<uint32_t>(element.data.size());
  for (const char* name : {"a.hex", "a.s19"}) {
    const ImageFormat* format = ImageFormatOfPath(name);
    std::vector<ImageElement> read;
    std::string error;
    ASSERT_TRUE(format->Read(format->Write({element}), read, error)) << name << error;
    std::vector<uint8_t> bytes;
    for (const ImageElement& part : read)
      bytes.insert(bytes.end(), part.data.begin(), part.data.end());
    EXPECT_EQ(read.front().address, element.address) << name;
    EXPECT_EQ(bytes, element.data) << name;
  }
  const ImageFormat* bin = ImageFormatOfPath("a.bin");
  std::vector<ImageElement> read;
  std::string error;
  ASSERT_TRUE(bin->Read(bin->Write({element}), read, error));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].address, 0x08000000u);  // the flash loader moves it to its --a address
  EXPECT_EQ(read[0].data, element.data);
}

TEST(ImageFormat, AFaultKeepsWhatCameBeforeAndSaysWhere) {
  const ImageFormat* hex = ImageFormatOfPath("a.hex");
  std::vector<ImageElement> read;
  std::string error;
  EXPECT_FALSE(hex->Read(":0100000041BE\n:01000100XX00\n", read, error));
  EXPECT_EQ(error, "FILE : line 2: Not in Intel Hex format!");
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].data, std::vector<uint8_t>{0x41});
}
