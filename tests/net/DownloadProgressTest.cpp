#include <gtest/gtest.h>

#include <algorithm>

#include "CapturingConsole.h"
#include "net/DownloadProgress.h"

using namespace pellux;

namespace {
// The widths the screen shows: every piece between "\r" and "\n".
std::vector<size_t> DrawnWidths(const std::string& output) {
  std::vector<size_t> widths;
  size_t start = 0;
  for (size_t i = 0; i <= output.size(); ++i) {
    if (i == output.size() || output[i] == '\r' || output[i] == '\n') {
      widths.push_back(i - start);
      start = i + 1;
    }
  }
  return widths;
}

std::string Download(int columns, std::uint64_t length) {
  CapturingConsole console;
  console.columns = columns;
  DownloadProgress progress("NR2_FW.hex", console);
  progress.Begin(static_cast<std::int64_t>(length));
  for (std::uint64_t got = 0; got < length; got += 4096) {
    progress.Received(std::min<std::uint64_t>(4096, length - got));
  }
  progress.Complete();
  return console.Output();
}
}  // namespace

TEST(DownloadProgress, EveryLineFitsAnEightyColumnConsole) {
  // Wine's console, a Windows console at its default width: a line that
  // reaches the last column wraps and leaves a line per redraw.
  const std::string output = Download(80, 300'000);
  for (const size_t width : DrawnWidths(output)) EXPECT_LE(width, 79u) << output;
  // Still fifty positions, and the bar reaches its end.
  EXPECT_NE(output.find("[" + std::string(50, '#') + "] (100%)"), std::string::npos) << output;
}

TEST(DownloadProgress, ANarrowConsoleGetsAShorterBar) {
  const std::string output = Download(60, 300'000);
  for (const size_t width : DrawnWidths(output)) EXPECT_LE(width, 59u) << output;
  EXPECT_EQ(output.find(std::string(50, '-')), std::string::npos);
  EXPECT_NE(output.find("#] (100%)"), std::string::npos) << output;
}

TEST(DownloadProgress, WithoutAWidthTheLinesStayWhole) {
  // A file or a pipe: the full line with its fifteen blanks of padding.
  const std::string output = Download(0, 300'000);
  EXPECT_NE(output.find("[" + std::string(50, '#') + "] (100%) "), std::string::npos);
  EXPECT_NE(output.find(" s) " + std::string(15, ' ') + "\n"), std::string::npos) << output;
  EXPECT_EQ(output.rfind("[" + std::string(50, '-') + "] (0%) 0.00 MB/s\r",
                         output.find("Download progress:\n") + 19),
            output.find("Download progress:\n") + 19);
}
