#include "net/DownloadProgress.h"

#include <algorithm>

#include "base/FormatText.h"
#include "base/JobConsole.h"

namespace pellux {

namespace {
constexpr int kBarWidth = 50;
constexpr double kBytesPerMegabyte = 1'000'000.0;
const std::string kPadding(15, ' ');

std::string Bar(std::uint64_t filled) {
  std::string bar;
  for (int position = 0; position < kBarWidth; ++position) {
    bar += static_cast<std::uint64_t>(position) < filled ? '#' : '-';
  }
  return bar;
}
}  // namespace

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
  console_.Write("[" + Bar(0) + "]" + FormatText(" (%d%%) %.2f MB/s", 0, 0.0) + "\r");
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
      console_.Write("\r[" + Bar(bar) + "]" +
                     FormatText(" (%d%%) %.2f MB/s ", static_cast<int>(percent), rate) + kPadding +
                     "\r");
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
  std::string line = "\r[" + Bar(kBarWidth);
  if (length_ > 0) {
    line += FormatText("] (100%%) %.2f MB/s (%.2f s) ", rate, elapsed);
  } else {
    line += FormatText("] Completed: %.2f MB, Avg Speed: %.2f MB/s ", megabytes, rate);
  }
  console_.Write(line + kPadding + "\n");
  console_.Printf("Download complete: %s\n", localPath_.c_str());
}

}  // namespace pellux
