#include "jobs/ZipArchive.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "ApplicationInstallArchives.h"
#include "ChildProcess.h"
#include "TestFiles.h"
#include "base/Cancellation.h"

using namespace pellux;

namespace fs = std::filesystem;

namespace {
// Archives in the shapes other writers make, read item by item.
class ZipArchiveTest : public ::testing::Test {
 protected:
  std::string Zip() const { return tmp / "archive.zip"; }
  std::string Out() const { return tmp / "out"; }

  // Opens the archive and extracts every item; the reason of the first failure, or "".
  std::string ExtractAll() {
    ZipArchive archive;
    std::string why;
    if (!archive.Open(Zip(), why)) return why;
    archive.SetBaseDirectory(Out());
    const CancelToken running;
    for (int i = 0; i < archive.Count(); ++i) {
      if (!archive.Extract(i, running, why)) return why;
    }
    return "";
  }

  // Runs `command` through the shell in the temporary folder.
  void Shell(const std::string& command) {
    ChildProcess shell("/bin/sh", {"-c", command}, {}, "", tmp.path());
    ASSERT_EQ(shell.Wait(), 0) << shell.Output();
  }

  TempDir tmp;
};
}  // namespace

TEST_F(ZipArchiveTest, Zip64RecordsOfInfoZipAndPython) {
  // Info-ZIP writes a ZIP64 end record when it reads the item from a pipe.
  Shell("printf 'streamed from a pipe' | zip -q archive.zip -");
  EXPECT_EQ(ExtractAll(), "");
  EXPECT_EQ(ReadFile(Out() + "/-"), "streamed from a pipe");

  // Python with its limits lowered puts sizes and offsets into ZIP64 fields.
  fs::remove(Zip());
  fs::remove_all(Out());
  MakeZipWithPython(Zip(), R"(
zipfile.ZIP64_LIMIT = 10
zipfile.ZIP_FILECOUNT_LIMIT = 1
add('first.txt', b'first item, longer than ten bytes')
add('second.txt', b'second item, stored', method=STORED)
add('third.txt', b'3' * 5000)
)");
  ASSERT_NE(ReadFile(Zip()).find(std::string("PK\x06\x06", 4)), std::string::npos);
  EXPECT_EQ(ExtractAll(), "");
  EXPECT_EQ(ReadFile(Out() + "/first.txt"), "first item, longer than ten bytes");
  EXPECT_EQ(ReadFile(Out() + "/second.txt"), "second item, stored");
  EXPECT_EQ(ReadFile(Out() + "/third.txt"), std::string(5000, '3'));
}

TEST_F(ZipArchiveTest, DataDescriptorsCommentsAndPrefixes) {
  // Written to a pipe, Info-ZIP cannot go back: sizes follow the data.
  Shell("printf 'described after the data' | zip -q - - > archive.zip");
  EXPECT_EQ(ExtractAll(), "");
  EXPECT_EQ(ReadFile(Out() + "/-"), "described after the data");

  // A comment holding something that looks like an end record.
  fs::remove(Zip());
  fs::remove_all(Out());
  MakeZipWithPython(Zip(), R"(
add('a.txt', b'with a comment')
archive.comment = b'PK\x05\x06 not the end' + b'x' * 300
)");
  EXPECT_EQ(ExtractAll(), "");
  EXPECT_EQ(ReadFile(Out() + "/a.txt"), "with a comment");

  // A self-extractor's program in front of the archive shifts every offset.
  const std::string archive = ReadFile(Zip());
  WriteFile(Zip(), std::string(4096, 'M') + archive);
  fs::remove_all(Out());
  EXPECT_EQ(ExtractAll(), "");
  EXPECT_EQ(ReadFile(Out() + "/a.txt"), "with a comment");
}

TEST_F(ZipArchiveTest, DamageIsFoundAndLeavesNoFile) {
  MakeZipWithPython(Zip(), "add('big.txt', bytes(range(256)) * 400)\nadd('b.txt', b'b')");
  const std::string good = ReadFile(Zip());

  // Deflated data with a changed byte: the stream breaks or the CRC differs.
  std::string bytes = good;
  bytes[200] = static_cast<char>(bytes[200] ^ 0x55);
  WriteFile(Zip(), bytes);
  EXPECT_EQ(ExtractAll(), "its data is damaged");
  EXPECT_FALSE(fs::exists(Out() + "/big.txt"));

  // The end record counts one item more than the directory holds.
  bytes = good;
  const size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
  ASSERT_NE(end, std::string::npos);
  bytes[end + 8] = 3;
  bytes[end + 10] = 3;
  WriteFile(Zip(), bytes);
  EXPECT_EQ(ExtractAll(), "its list of items is damaged");

  // A directory pointing past the end of the file.
  bytes = good;
  bytes[end + 19] = 0x7F;
  WriteFile(Zip(), bytes);
  EXPECT_EQ(ExtractAll(), "its list of items is damaged");

  // Cut inside the data of the first item: the directory is gone with it.
  WriteFile(Zip(), good.substr(0, 300));
  EXPECT_EQ(ExtractAll(), "it is not a readable ZIP archive");
  EXPECT_FALSE(fs::exists(Out() + "/big.txt"));
}
