#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_map>

#include "PublisherKey.h"

// What the server answers about a data file (its MD5 and, with a key, its
// signature), computed once per version of the file: an entry stays while
// the file's size, modification and change times and identity stay the same.
// Safe to use from many threads at once.
class DigestCache {
 public:
  struct Replies {
    std::string md5;        // 32 lower-case hex digits
    std::string signature;  // base64 of the DER signature; empty without a key
  };

  // A version changed less than `settle` ago may change again within the
  // same tick of the file system's clock without its times showing it: it
  // is answered but not kept.
  explicit DigestCache(std::shared_ptr<const PublisherKey> key = nullptr,
                       std::chrono::nanoseconds settle = std::chrono::seconds(2));

  bool Signs() const { return key_ != nullptr; }

  // The replies for `file`, offered under the server path `signedPath`
  // (<KEY>/<MODE>/<file>); nothing when it cannot be read or signed.
  std::optional<Replies> Of(const std::filesystem::path& file, const std::string& signedPath);

  // The kept replies for `signedPath` when `at` (where that path leads,
  // links followed, not checked against the tree) is still the very file
  // they were made for, which was checked then: the same file, whatever
  // path reaches it, holds nothing the check would refuse. One look at the
  // file system, where checking the path again takes one per piece.
  std::optional<Replies> Kept(const std::filesystem::path& at, const std::string& signedPath);

 private:
  struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t modified = 0;  // nanoseconds
    int64_t changed = 0;
    bool operator==(const Stamp&) const = default;
  };
  struct Entry {
    Stamp stamp;
    Replies replies;
  };
  static std::optional<Stamp> StampOf(const std::filesystem::path& file);

  std::shared_ptr<const PublisherKey> key_;
  std::chrono::nanoseconds settle_;
  std::shared_mutex mutex_;
  std::unordered_map<std::string, Entry> entries_;  // by signed path
};
