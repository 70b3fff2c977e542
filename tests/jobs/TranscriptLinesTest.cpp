#include "jobs/TranscriptLines.h"

#include <gtest/gtest.h>

using namespace pellux;

namespace {
using Lines = std::vector<std::string>;

Lines FeedAll(TranscriptLines& lines, const Lines& pieces) {
  Lines finished;
  for (const std::string& piece : pieces) {
    for (std::string& line : lines.Feed(piece)) finished.push_back(std::move(line));
  }
  return finished;
}
}  // namespace

TEST(TranscriptLines, EveryLineEndBecomesOneLine) {
  TranscriptLines lines;
  EXPECT_EQ(FeedAll(lines, {"\r\n[ FPGA Update mode ] - X\r\n", "unix\n", "split ", "line\r\n"}),
            (Lines{"", "[ FPGA Update mode ] - X", "unix", "split line"}));
  EXPECT_EQ(lines.TakePartial(), std::nullopt);
}

TEST(TranscriptLines, ProgressBarRedrawsFoldToTheirFinalState) {
  TranscriptLines lines;
  const std::string blanks(15, ' ');
  const Lines finished =
      FeedAll(lines, {"Download progress:\n", "[----------] (0%) 0.00 MB/s\r",
                      "\r[#####-----] (50%) 1.25 MB/s " + blanks + "\r",
                      "\r[##########] (100%) 2.50 MB/s " + blanks + "\r",
                      "\r[##########] (100%) 2.50 MB/s (0.02 s) " + blanks + "\n",
                      "Download complete: a\n"});
  EXPECT_EQ(finished, (Lines{"Download progress:", "[##########] (100%) 2.50 MB/s (0.02 s)",
                             "Download complete: a"}));
}

TEST(TranscriptLines, ShorterRewriteKeepsTheTailAsOnAScreen) {
  TranscriptLines lines;
  EXPECT_EQ(FeedAll(lines, {"block 10/157\r", "block 9/157\r", "done\n"}), (Lines{"donek 9/1577"}));
  EXPECT_EQ(FeedAll(lines, {"ab\bc\n"}), (Lines{"ac"}));
}

TEST(TranscriptLines, ControlCharactersAreShownNotPassedOn) {
  TranscriptLines lines;
  EXPECT_EQ(FeedAll(lines, {std::string("a\x1b[2Jb\tc\x7f") + '\0' + "\n"}),
            (Lines{"a\\x1B[2Jb\tc\\x7F\\x00"}));
}

TEST(TranscriptLines, AnUnfinishedLineIsTakenOnce) {
  TranscriptLines lines;
  EXPECT_TRUE(lines.Feed("And press enter key...").empty());
  EXPECT_EQ(lines.TakePartial(), "And press enter key...");
  EXPECT_EQ(lines.TakePartial(), std::nullopt);
  // A bar left behind by a failed transfer counts as written.
  lines.Feed("[###-------] (30%)\r");
  EXPECT_EQ(lines.TakePartial(), "[###-------] (30%)");
}
