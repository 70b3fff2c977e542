#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "boards/FloatEditFilter.h"

using namespace pellux;

namespace {
// The box's text after typing `keys` one by one at the caret (or over the
// selection [from, to) for the first key), as an edit control applies them.
std::u16string Type(std::u16string text, size_t anchor, size_t caret, std::u16string_view keys) {
  size_t from = std::min({anchor, caret, text.size()});
  size_t to = std::min(std::max(anchor, caret), text.size());
  for (const char16_t key : keys) {
    if (FloatEditAccepts(text, anchor, caret, key)) {
      if (key == 0x08) {
        if (from == to && from > 0) --from;
        text.erase(from, to - from);
      } else {
        text.replace(from, to - from, 1, key);
        ++from;
      }
    }
    to = from;
    anchor = caret = from;
  }
  return text;
}
std::u16string TypeAtEnd(std::u16string text, std::u16string_view keys) {
  const size_t end = text.size();
  return Type(std::move(text), end, end, keys);
}
}  // namespace

TEST(FloatEditFilter, DigitsAndOnePoint) {
  EXPECT_EQ(TypeAtEnd(u"", u"1.2.3"), u"1.23");
  EXPECT_EQ(TypeAtEnd(u"", u"a x+e,"), u"");
  EXPECT_EQ(TypeAtEnd(u"", u".5"), u".5");
  EXPECT_EQ(TypeAtEnd(u"12", u"\b"), u"1");
}

// Typing over a selection is judged on the text it leaves.
TEST(FloatEditFilter, TypingOverASelectionJudgesTheResult) {
  EXPECT_EQ(Type(u"500.5", 0, 5, u".5"), u".5");
  EXPECT_EQ(Type(u"500.5", 3, 5, u".25"), u"500.25");  // the old point is replaced
  EXPECT_EQ(Type(u"500.5", 0, 1, u"."), u"500.5");     // would leave two points
  EXPECT_EQ(Type(u"-12", 0, 2, u"-"), u"-2");          // the old minus is replaced
  EXPECT_EQ(Type(u"123", 0, 2, u"-"), u"-3");          // lands at the start
  // The selection may be given either way round.
  EXPECT_EQ(Type(u"500.5", 5, 0, u"7"), u"7");
}

TEST(FloatEditFilter, MinusOnlyAtTheStart) {
  EXPECT_EQ(Type(u"12", 2, 2, u"-"), u"12");
  EXPECT_EQ(Type(u"12", 0, 0, u"-"), u"-12");
  EXPECT_EQ(Type(u"-12", 0, 0, u"-"), u"-12");
  EXPECT_EQ(Type(u"-12", 3, 3, u"-"), u"-12");
  EXPECT_EQ(Type(u"-12", 0, 3, u"-"), u"-");  // the whole text selected
  EXPECT_EQ(Type(u"", 0, 0, u"-"), u"-");
  // Nothing may stand before the minus: "5-12" would travel as 5.
  EXPECT_EQ(Type(u"-12", 0, 0, u"5"), u"-12");
  EXPECT_EQ(Type(u"-12", 0, 0, u"."), u"-12");
  EXPECT_EQ(Type(u"-12", 1, 1, u"."), u"-.12");
}

TEST(FloatEditFilter, ControlCharactersAreDiscarded) {
  for (const char16_t key : {char16_t{0x03}, char16_t{0x16}, char16_t{0x18}, char16_t{0x01},
                             char16_t{0x0D}, char16_t{0x1B}, char16_t{0x09}}) {
    EXPECT_FALSE(FloatEditAccepts(u"12", 2, 2, key)) << int(key);
  }
  EXPECT_TRUE(FloatEditAccepts(u"12", 0, 0, 0x08));
  EXPECT_FALSE(FloatEditAccepts(u"12", 2, 2, u'\u0661'));  // an Arabic-Indic digit
}

// A pasted text that is no number takes no more typed characters (each
// would leave it no number); it can still be cleared or overwritten.
TEST(FloatEditFilter, PastedLettersTakeOnlyBackspaceOrAReplacement) {
  EXPECT_FALSE(FloatEditAccepts(u"abc", 3, 3, u'1'));
  EXPECT_TRUE(FloatEditAccepts(u"abc", 3, 3, 0x08));
  EXPECT_EQ(Type(u"abc", 0, 3, u"12"), u"12");
  // Positions past the end count as the end.
  EXPECT_EQ(Type(u"12", 9, 9, u"3"), u"123");
}

TEST(FloatEditFilter, DecimalNumberStarts) {
  for (const char16_t* text : {u"", u"-", u".", u"-.", u"-12", u"12.", u"-.5", u"1.25"})
    EXPECT_TRUE(IsDecimalNumberStart(text));
  for (const char16_t* text : {u"1-2", u"1.2.3", u"a", u"--1", u" 1", u"1e5"})
    EXPECT_FALSE(IsDecimalNumberStart(text));
}
