#include "net/DownloadProgress.h"

#include <algorithm>

#include "base/FormatText.h"
#include "base/JobConsole.h"

namespace pellux {

namespace {
constexpr int kBarWidth = 50;
constexpr int kNarrowestBar = 10;
constexpr double kBytesPerMegabyte = 1'000'000.0;
constexpr size_t kPadding = 15;

std::string Bar(std::uint64_t filled, int width) {
  std::string bar;
  for (int position = 0; position < width; ++position) {
    bar += static_cast<std::uint64_t>(position) < filled ? '#' : '-';
  }
  return bar;
}
}  // namespace

std::string DownloadProgress::BarLine(const char* lead, std::uint64_t filled,
                                      const std::string& tail, size_t padding,
                                      const char* end) const {
  int width = kBarWidth;
  if (columns_ > 0) {
    // A line that reaches the last column makes a console wrap, and every
    // redraw would leave a line behind: the padding goes first, then
    // positions of the bar.
    const int room = columns_ - 1;
    int over = 2 + width + static_cast<int>(tail.size() + padding) - room;
    const size_t cut = std::min(padding, static_cast<size_t>(std::max(over, 0)));
    padding -= cut;
    over -= static_cast<int>(cut);
    if (over > 0) {
      width = std::max(kNarrowestBar, width - over);
      filled = std::min<std::uint64_t>(filled, kBarWidth) * static_cast<std::uint64_t>(width) /
               kBarWidth;
    }
  }
  return lead + ("[" + Bar(filled, width) + "]") + tail + std::string(padding, ' ') + end;
}

double DownloadProgress::ElapsedSeconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void DownloadProgress::Begin(std::int64_t length) {
  begun_ = true;
  if (length < 0) {
    console_.Write(
        "Warning: Could not get Content-Length. Progress percentage will not be available.\n");
    length = 0;
  }
  length_ = static_cast<std::uint64_t>(length);
  if (length_ > 0) {
    console_.Printf("Downloading file: %s (%lu bytes)\n", localPath_.c_str(),
                    static_cast<unsigned long>(length_));
  } else {
    console_.Printf("Downloading file: %s (size unknown)\n", localPath_.c_str());
  }
  console_.Write("Download progress:\n");
  columns_ = console_.Columns();
  console_.Write(BarLine("", 0, FormatText(" (%d%%) %.2f MB/s", 0, 0.0), 0, "\r"));
  lastBar_ = -1;
  start_ = std::chrono::steady_clock::now();
}

void DownloadProgress::Received(std::uint64_t bytes) {
  total_ += bytes;
  const double rate =
      (static_cast<double>(total_) / kBytesPerMegabyte) / std::max(ElapsedSeconds(), 0.1);
  if (length_ > 0) {
    const std::uint64_t percent = total_ * 100 / length_;
    const std::uint64_t bar = total_ * kBarWidth / length_;
    if (static_cast<std::int64_t>(bar) != lastBar_ || percent == 100) {
      console_.Write(BarLine("\r", bar,
                             FormatText(" (%d%%) %.2f MB/s ", static_cast<int>(percent), rate),
                             kPadding, "\r"));
      lastBar_ = static_cast<int>(std::min<std::uint64_t>(bar, 1u << 30));
    }
  } else {
    console_.Printf("\rDownloaded: %.2f MB (%.2f MB/s) ",
                    static_cast<double>(total_) / kBytesPerMegabyte, rate);
  }
}

void DownloadProgress::Complete() {
  const double elapsed = std::max(ElapsedSeconds(), 0.001);
  const double megabytes = static_cast<double>(total_) / kBytesPerMegabyte;
  const double rate = megabytes / elapsed;
  const std::string tail =
      length_ > 0 ? FormatText(" (100%%) %.2f MB/s (%.2f s) ", rate, elapsed)
                  : FormatText(" Completed: %.2f MB, Avg Speed: %.2f MB/s ", megabytes, rate);
  console_.Write(BarLine("\r", kBarWidth, tail, kPadding, "\n"));
  console_.Printf("Download complete: %s\n", localPath_.c_str());
}

}  // namespace pellux
