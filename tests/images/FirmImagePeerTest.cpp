// Image files against srec_cat and objcopy: what they write we must read
// byte for byte, and what we write they must read back to the same bytes at
// the same addresses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PeerTools.h"
#include "TestFiles.h"
#include "images/FirmImage.h"

using namespace pellux;

namespace {

struct PeerMadeFile {
  const char* name;
  const char* program;
  std::vector<std::string> args;  // {in}, {out} and {addr} are replaced
  const char* extension;
  uint32_t address;
  size_t size;
};

std::vector<std::string> Substitute(std::vector<std::string> args, const std::string& in,
                                    const std::string& out, uint32_t address) {
  for (std::string& arg : args) {
    if (arg == "{in}") arg = in;
    if (arg == "{out}") arg = out;
    if (arg == "{addr}") arg = Hex(address);
  }
  return args;
}

const std::vector<std::string> kSrecCatIn = {"{in}", "-binary", "-offset", "{addr}", "-o", "{out}"};

std::vector<std::string> SrecCat(std::vector<std::string> format) {
  std::vector<std::string> args = kSrecCatIn;
  args.insert(args.end(), format.begin(), format.end());
  return args;
}

std::vector<std::string> Objcopy(std::vector<std::string> options) {
  std::vector<std::string> args = {"-I", "binary"};
  args.insert(args.end(), options.begin(), options.end());
  args.insert(args.end(), {"--change-addresses", "{addr}", "{in}", "{out}"});
  return args;
}

class ReadsPeerFile : public testing::TestWithParam<PeerMadeFile> {};

TEST_P(ReadsPeerFile, ByteForByte) {
  const PeerMadeFile& file = GetParam();
  TempDir dir;
  const std::vector<uint8_t> source = RandomBytes(file.size, file.address ^ 0x5A5A);
  WriteBytes(dir / "source.bin", source);
  const std::string made = dir / (std::string("made") + file.extension);
  const PeerResult peer =
      RunPeer(file.program, Substitute(file.args, dir / "source.bin", made, file.address));
  ASSERT_EQ(peer.status, 0) << peer.output;

  std::unique_ptr<CFirmImage> image;
  std::string error;
  ASSERT_EQ(loadImageFile(made, image, &error), kImageSuccess) << error;
  ASSERT_EQ(image->elements.size(), 1u);
  EXPECT_EQ(image->elements[0].address, file.address);
  EXPECT_EQ(image->elements[0].size, file.size);
  EXPECT_TRUE(image->elements[0].data == source);
}

INSTANTIATE_TEST_SUITE_P(
    Peers, ReadsPeerFile,
    testing::Values(
        PeerMadeFile{"ObjcopyHex", "objcopy", Objcopy({"-O", "ihex"}), ".hex", 0x08000000, 100000},
        PeerMadeFile{"ObjcopySrec", "objcopy", Objcopy({"-O", "srec"}), ".s19", 0x08000000, 70000},
        PeerMadeFile{"ObjcopyForcedS3Long", "objcopy",
                     Objcopy({"-O", "srec", "--srec-forceS3", "--srec-len=64"}), ".S19", 0x0800F00B,
                     9000},
        PeerMadeFile{"ObjcopySrecS1", "objcopy", Objcopy({"-O", "srec"}), ".s19", 0x1000, 0x3000},
        PeerMadeFile{"ObjcopySrecS2", "objcopy", Objcopy({"-O", "srec"}), ".s19", 0x2FF00, 5000},
        PeerMadeFile{"SrecCatHex", "srec_cat", SrecCat({"-intel"}), ".hex", 0x08000000, 150000},
        PeerMadeFile{"SrecCatHexSegments", "srec_cat", SrecCat({"-intel", "-address-length=3"}),
                     ".hex", 0x30010, 70000},
        PeerMadeFile{"SrecCatHex16Bit", "srec_cat", SrecCat({"-intel", "-address-length=2"}),
                     ".HEX", 0x100, 0x8000},
        PeerMadeFile{"SrecCatS1", "srec_cat", SrecCat({"-motorola", "-address-length=2"}), ".s19",
                     0x400, 0x4000},
        PeerMadeFile{"SrecCatS2", "srec_cat", SrecCat({"-motorola", "-address-length=3"}), ".s19",
                     0x10000, 0x12345},
        PeerMadeFile{"SrecCatS3", "srec_cat", SrecCat({"-motorola", "-address-length=4"}), ".s19",
                     0x08000000, 40000},
        // More than 65535 records: the record count goes into an S6 record.
        PeerMadeFile{"SrecCatS6Count", "srec_cat",
                     SrecCat({"-motorola", "-address-length=4", "-obs=1"}), ".s19", 0x08000000,
                     70000}),
    [](const testing::TestParamInfo<PeerMadeFile>& info) { return info.param.name; });

TEST(ReadsPeerFiles, GapsGiveSortedElements) {
  TempDir dir;
  const auto low = RandomBytes(3000, 1), high = RandomBytes(5000, 2);
  WriteBytes(dir / "low.bin", low);
  WriteBytes(dir / "high.bin", high);
  for (const auto& [format, extension] :
       {std::pair<std::string, std::string>{"-intel", ".hex"}, {"-motorola", ".s19"}}) {
    const std::string made = dir / ("gaps" + extension);
    const PeerResult peer =
        RunPeer("srec_cat", {dir / "high.bin", "-binary", "-offset", "0x08010000", dir / "low.bin",
                             "-binary", "-offset", "0x08000100", "-o", made, format});
    ASSERT_EQ(peer.status, 0) << peer.output;
    std::unique_ptr<CFirmImage> image;
    ASSERT_EQ(loadImageFile(made, image), kImageSuccess);
    ASSERT_EQ(image->elements.size(), 2u);
    EXPECT_EQ(image->elements[0].address, 0x08000100u);
    EXPECT_TRUE(image->elements[0].data == low);
    EXPECT_EQ(image->elements[1].address, 0x08010000u);
    EXPECT_TRUE(image->elements[1].data == high);
  }
}

// Records out of address order: two peer files concatenated, the higher one first.
TEST(ReadsPeerFiles, OutOfOrderRecordsAreSortedAndMerged) {
  TempDir dir;
  const auto source = RandomBytes(0x3000, 3);
  WriteBytes(dir / "first.bin", std::vector<uint8_t>(source.begin(), source.begin() + 0x1000));
  WriteBytes(dir / "rest.bin", std::vector<uint8_t>(source.begin() + 0x1000, source.end()));
  const auto make = [&](const std::string& in, const char* offset, const std::string& out) {
    const PeerResult peer =
        RunPeer("srec_cat", {in, "-binary", "-offset", offset, "-o", out, "-intel"});
    ASSERT_EQ(peer.status, 0) << peer.output;
  };
  make(dir / "rest.bin", "0x08001000", dir / "rest.hex");
  make(dir / "first.bin", "0x08000000", dir / "first.hex");
  std::string rest = ReadFile(dir / "rest.hex");
  rest.erase(rest.find(":00000001FF"));
  WriteFile(dir / "both.hex", rest + ReadFile(dir / "first.hex"));

  std::unique_ptr<CFirmImage> image;
  std::string error;
  ASSERT_EQ(loadImageFile(dir / "both.hex", image, &error), kImageSuccess) << error;
  ASSERT_EQ(image->elements.size(), 1u);
  EXPECT_EQ(image->elements[0].address, 0x08000000u);
  EXPECT_TRUE(image->elements[0].data == source);
}

TEST(ReadsPeerFiles, CarriageReturnLineEnds) {
  TempDir dir;
  const auto source = RandomBytes(1000, 4);
  WriteBytes(dir / "source.bin", source);
  ASSERT_EQ(RunPeer("objcopy", {"-I", "binary", "-O", "ihex", "--change-addresses", "0x08000000",
                                dir / "source.bin", dir / "lf.hex"})
                .status,
            0);
  std::string crlf;
  for (char c : ReadFile(dir / "lf.hex"))
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  WriteFile(dir / "crlf.hex", crlf);
  std::unique_ptr<CFirmImage> image;
  ASSERT_EQ(loadImageFile(dir / "crlf.hex", image), kImageSuccess);
  ASSERT_EQ(image->elements.size(), 1u);
  EXPECT_TRUE(image->elements[0].data == source);
}

// An image with awkward elements: unaligned, across one or two 64 KB
// boundaries, longer than 256 records.
CFirmImage AwkwardImage() {
  CFirmImage image;
  const std::vector<std::pair<uint32_t, size_t>> ranges = {
      {0x08000000, 5000}, {0x0800F00B, 0x2345}, {0x08020000, 40000}, {0x0803FF31, 0x20000}};
  uint32_t seed = 10;
  for (const auto& [address, size] : ranges) {
    ImageElement element;
    element.address = address;
    element.data = RandomBytes(size, seed++);
    element.size = static_cast<uint32_t>(size);
    image.elements.push_back(element);
  }
  return image;
}

void ExpectSrecCatReadsBack(const std::string& path, const char* format, const CFirmImage& image) {
  TempDir dir;
  for (const ImageElement& element : image.elements) {
    const std::string part = dir / "part.bin";
    const PeerResult peer =
        RunPeer("srec_cat",
                {path, format, "-crop", Hex(element.address), Hex(element.address + element.size),
                 "-offset", "-" + Hex(element.address), "-o", part, "-binary"});
    ASSERT_EQ(peer.status, 0) << peer.output;
    // An S0 header is optional, and we write none; anything else is a fault.
    std::string complaints = peer.output;
    const std::string noHeader = path + ": 1: warning: no header record\n";
    if (complaints.starts_with("srec_cat: " + noHeader)) complaints.erase(0, 10 + noHeader.size());
    EXPECT_EQ(complaints, "") << "srec_cat complains about " << path;
    EXPECT_TRUE(ReadBytes(part) == element.data) << "element at " << Hex(element.address);
  }
}

TEST(WrittenFiles, HexReadBackBySrecCatAndObjcopy) {
  TempDir dir;
  const CFirmImage image = AwkwardImage();
  ASSERT_EQ(saveImageFile(dir / "out.hex", image), kImageSuccess);
  ExpectSrecCatReadsBack(dir / "out.hex", "-intel", image);

  const PeerResult peer =
      RunPeer("objcopy", {"-I", "ihex", "-O", "binary", dir / "out.hex", dir / "flat.bin"});
  ASSERT_EQ(peer.status, 0) << peer.output;
  const std::vector<uint8_t> flat = ReadBytes(dir / "flat.bin");
  const uint32_t base = image.elements.front().address;
  for (const ImageElement& element : image.elements) {
    const size_t offset = element.address - base;
    ASSERT_LE(offset + element.size, flat.size());
    EXPECT_TRUE(std::equal(element.data.begin(), element.data.end(), flat.begin() + offset))
        << "element at " << Hex(element.address);
  }
  EXPECT_TRUE(ReadFile(dir / "out.hex").ends_with(":00000001FF\n"));
}

TEST(WrittenFiles, SRecordsReadBackBySrecCat) {
  TempDir dir;
  const CFirmImage image = AwkwardImage();
  ASSERT_EQ(saveImageFile(dir / "out.s19", image), kImageSuccess);
  ExpectSrecCatReadsBack(dir / "out.s19", "-motorola", image);
  EXPECT_TRUE(ReadFile(dir / "out.s19").ends_with("\nS70500000000FA\n"));
}

TEST(WrittenFiles, SmallAddressesReadBackBySrecCat) {
  TempDir dir;
  for (const uint32_t address : {0x0u, 0xFF00u, 0x10000u, 0xFFF0F0u}) {
    CFirmImage image;
    image.elements.push_back(ImageElement{address, 0xF0, RandomBytes(0xF0, address)});
    for (const char* name : {"small.s19", "small.hex"}) {
      ASSERT_EQ(saveImageFile(dir / name, image), kImageSuccess);
      ExpectSrecCatReadsBack(dir / name, name[6] == 's' ? "-motorola" : "-intel", image);
    }
  }
}

// Our own writer and reader agree, through every format.
TEST(WrittenFiles, RoundTripThroughOurReader) {
  TempDir dir;
  const CFirmImage image = AwkwardImage();
  for (const char* name : {"round.hex", "round.S19"}) {
    ASSERT_EQ(saveImageFile(dir / name, image), kImageSuccess);
    std::unique_ptr<CFirmImage> back;
    ASSERT_EQ(loadImageFile(dir / name, back), kImageSuccess) << name;
    ASSERT_EQ(back->elements.size(), image.elements.size()) << name;
    for (size_t i = 0; i < image.elements.size(); ++i) {
      EXPECT_EQ(back->elements[i].address, image.elements[i].address);
      EXPECT_TRUE(back->elements[i].data == image.elements[i].data);
    }
  }
}

}  // namespace
