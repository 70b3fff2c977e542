#include "DigestCache.h"

#include <sys/stat.h>
#include <time.h>

#include <mutex>

#include "FileDigests.h"

namespace fs = std::filesystem;

namespace {
// A tree has a few hundred files; more distinct paths than this means the
// cache is being filled with names that come and go: it starts afresh.
constexpr size_t kMostEntries = 65536;

int64_t NowNanoseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}
}  // namespace

DigestCache::DigestCache(std::shared_ptr<const PublisherKey> key, std::chrono::nanoseconds settle)
    : key_(std::move(key)), settle_(settle) {}

std::optional<DigestCache::Stamp> DigestCache::StampOf(const fs::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return std::nullopt;
  return Stamp{.device = info.st_dev,
               .inode = info.st_ino,
               .size = info.st_size,
               .modified = int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec,
               .changed = int64_t{info.st_ctim.tv_sec} * 1000000000 + info.st_ctim.tv_nsec};
}

std::optional<DigestCache::Replies> DigestCache::Kept(const fs::path& at,
                                                      const std::string& signedPath) {
  const auto stamp = StampOf(at);
  if (!stamp) return std::nullopt;
  std::shared_lock lock(mutex_);
  const auto found = entries_.find(signedPath);
  if (found == entries_.end() || found->second.stamp != *stamp) return std::nullopt;
  return found->second.replies;
}

std::optional<DigestCache::Replies> DigestCache::Of(const fs::path& file,
                                                    const std::string& signedPath) {
  if (auto kept = Kept(file, signedPath)) return kept;
  const auto before = StampOf(file);
  if (!before) return std::nullopt;

  const auto digests = DigestsOfFile(file);
  if (!digests) return std::nullopt;
  Replies replies{.md5 = digests->md5, .signature = {}};
  if (key_) {
    auto signature = key_->Sign(SignedText(signedPath, digests->sha256));
    if (!signature) return std::nullopt;
    replies.signature = std::move(*signature);
  }
  // A file that changed while it was read gives this one answer, but it is
  // not kept: the next request reads it again.
  const bool settled = NowNanoseconds() - before->changed >= settle_.count();
  if (settled && StampOf(file) == before) {
    std::unique_lock lock(mutex_);
    if (entries_.size() >= kMostEntries) entries_.clear();
    entries_.insert_or_assign(signedPath, Entry{.stamp = *before, .replies = replies});
  }
  return replies;
}
