#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <string>

#include "TestFiles.h"
#include "base/AsciiCase.h"
#include "base/FileHandle.h"
#include "base/FormatText.h"

using namespace pellux;

TEST(AsciiCase, ChangesOnlyAsciiLettersWhateverTheLocale) {
  // Qt sets the user's locale at start; names must not follow it.
  const char* previous = std::setlocale(LC_CTYPE, nullptr);
  const std::string saved = previous ? previous : "C";
  std::setlocale(LC_CTYPE, "C.UTF-8");
  EXPECT_EQ(UpperAscii("com3-\xE9t\xC3\xA9"), "COM3-\xE9T\xC3\xA9");
  EXPECT_EQ(LowerAscii("PRODUCT [Z]@"), "product [z]@");
  EXPECT_EQ(UpperAscii(""), "");
  std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(AsciiCase, ComparesNamesWithoutRegardToCase) {
  EXPECT_TRUE(EqualsIgnoringAsciiCase("Product", "pRODUCT"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("Product", "Products"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("[a]", "{a}"));  // '[' + 32 is '{', not a letter
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\xC9", "\xE9"));
  EXPECT_TRUE(StartsWithIgnoringAsciiCase("com12", "COM"));
  EXPECT_TRUE(StartsWithIgnoringAsciiCase("COM", ""));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase("CO", "COM"));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase("ttyUSB0", "COM"));
}

TEST(FormatText, FormatsTextsLongerThanAnyFixedBuffer) {
  const std::string word(5000, 'x');
  const std::string text = FormatText("%s:%03d:%c", word.c_str(), 7, 'z');
  EXPECT_EQ(text.size(), 5000u + 6u);
  EXPECT_EQ(text.substr(5000), ":007:z");
  EXPECT_EQ(FormatText("%s", ""), "");
  EXPECT_EQ(FormatText("FILE : line %i: Checksum error!", 12), "FILE : line 12: Checksum error!");
}

TEST(FileHandle, CloseReportsDataThatNeverReachedTheFile) {
  // /dev/full accepts the open and the buffered write, then fails the flush.
  FileHandle full = OpenFile("/dev/full", "w");
  ASSERT_TRUE(full);
  std::fputs("lost", full.get());
  EXPECT_FALSE(CloseFile(full));
  EXPECT_FALSE(full);

  TempDir dir;
  const std::string path = dir / "handle.txt";
  FileHandle file = OpenFile(path, "w");
  ASSERT_TRUE(file);
  std::fputs("kept", file.get());
  EXPECT_TRUE(CloseFile(file));
  EXPECT_EQ(std::filesystem::file_size(path), 4u);

  EXPECT_FALSE(OpenFile(dir / "no/such/file", "r"));
  FileHandle none;
  EXPECT_FALSE(CloseFile(none));
}
