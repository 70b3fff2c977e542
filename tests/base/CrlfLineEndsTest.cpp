#include <gtest/gtest.h>

#include "base/CrlfLineEnds.h"

using namespace pellux;

TEST(CrlfLineEnds, EveryLineEndsInOneCarriageReturnAndLineFeed) {
  CrlfLineEnds ends;
  // The job's own texts mix both ends; a progress bar ends on a bare "\r"
  // and the runner then ends its line with "\r\n".
  std::string out = ends.Convert("Checking firmware on internet.....\nFileList\r\n");
  out += ends.Convert("[#####-----] (50%) 1.00 MB/s \r");
  out += ends.Convert("\r\nCancelled.\r\n");
  out += ends.Convert("Error\n");
  EXPECT_EQ(out,
            "Checking firmware on internet.....\r\nFileList\r\n[#####-----] (50%) 1.00 MB/s "
            "\r\nCancelled.\r\nError\r\n");
  EXPECT_EQ(out.find("\r\r"), std::string::npos);
}

TEST(CrlfLineEnds, RedrawsKeepTheirCarriageReturns) {
  CrlfLineEnds ends;
  std::string out = ends.Convert("1/6\r");
  out += ends.Convert("2/6\r");
  EXPECT_EQ(out, "1/6\r2/6");
  // A return split from its line feed across two writes still counts once.
  out += ends.Convert("\r");
  out += ends.Convert("\n");
  EXPECT_EQ(out, "1/6\r2/6\r\n");
  EXPECT_EQ(ends.Convert("prompt \r"), "prompt ");
  EXPECT_EQ(ends.Flush(), "\r");
  EXPECT_EQ(ends.Flush(), "");
}
