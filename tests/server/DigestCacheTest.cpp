// The server's digests and signatures, kept per version of a file: a changed
// file (same size with new times, or a new size under the old time) is
// answered afresh, also while many threads ask at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "DigestCache.h"
#include "OpenSslPeer.h"
#include "PeerTools.h"
#include "TestFiles.h"

using namespace pellux;

namespace fs = std::filesystem;

namespace {
std::string Md5sumOf(const std::string& file) {
  const PeerResult sum = RunPeer("md5sum", {file});
  EXPECT_EQ(sum.status, 0) << sum.output;
  return sum.output.substr(0, 32);
}

// Writes `content` and gives the file a modification time `age` in the past.
void WriteAged(const std::string& path, const std::string& content, std::chrono::seconds age) {
  WriteFile(path, content);
  fs::last_write_time(path, fs::file_time_type::clock::now() - age);
}

class DigestCacheFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const OpenSslKeyPair pair = MakeOpenSslKey(keys.path(), "publisher");
    publicKey = pair.publicKey;
    std::string error;
    key = PublisherKey::Load(pair.privateKey, error);
    ASSERT_TRUE(key) << error;
  }

  TempDir keys, tree;
  std::string publicKey;
  std::shared_ptr<const PublisherKey> key;
  const std::string file = tree / "a.hex";
};
}  // namespace

TEST_F(DigestCacheFiles, AChangedFileIsDigestedAndSignedAfresh) {
  DigestCache cache(key, std::chrono::nanoseconds(0));
  WriteAged(file, "aaaa", std::chrono::seconds(100));
  const auto first = cache.Of(file, "NR2/FIRMWARE/a.hex");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->md5, Md5sumOf(file));
  EXPECT_TRUE(OpenSslVerifies(publicKey, "NR2/FIRMWARE/a.hex", file, first->signature));
  // ECDSA signs with a fresh random number each time: the same signature
  // again shows the kept answer.
  EXPECT_EQ(cache.Of(file, "NR2/FIRMWARE/a.hex")->signature, first->signature);

  WriteAged(file, "bbbb", std::chrono::seconds(50));  // same size, new time
  const auto second = cache.Of(file, "NR2/FIRMWARE/a.hex");
  ASSERT_TRUE(second);
  EXPECT_EQ(second->md5, Md5sumOf(file));
  EXPECT_NE(second->md5, first->md5);
  EXPECT_TRUE(OpenSslVerifies(publicKey, "NR2/FIRMWARE/a.hex", file, second->signature));

  WriteAged(file, "ccccc", std::chrono::seconds(50));  // new size, the same time
  const auto third = cache.Of(file, "NR2/FIRMWARE/a.hex");
  ASSERT_TRUE(third);
  EXPECT_EQ(third->md5, Md5sumOf(file));
  EXPECT_TRUE(OpenSslVerifies(publicKey, "NR2/FIRMWARE/a.hex", file, third->signature));

  // The same file under another name is signed for that name.
  const auto other = cache.Of(file, "APB/FIRMWARE/a.hex");
  ASSERT_TRUE(other);
  EXPECT_TRUE(OpenSslVerifies(publicKey, "APB/FIRMWARE/a.hex", file, other->signature));

  fs::remove(file);
  EXPECT_FALSE(cache.Of(file, "NR2/FIRMWARE/a.hex"));
}

TEST_F(DigestCacheFiles, AFileJustWrittenIsAnsweredButNotKept) {
  DigestCache cache(key);  // the server's default: changes of the last 2 s are not kept
  WriteFile(file, "fresh");
  const auto first = cache.Of(file, "a.hex");
  const auto second = cache.Of(file, "a.hex");
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->md5, Md5sumOf(file));
  EXPECT_NE(first->signature, second->signature) << "signed again, not kept";
}

TEST_F(DigestCacheFiles, ThreadsAskingWhileTheFileChangesGetOneOfItsVersions) {
  DigestCache cache(nullptr, std::chrono::nanoseconds(0));
  const std::string x = tree / "x", y = tree / "y";
  WriteFile(x, std::string(200000, 'x'));
  WriteFile(y, std::string(200000, 'y'));
  const std::string md5x = Md5sumOf(x), md5y = Md5sumOf(y);
  WriteAged(file, std::string(200000, 'x'), std::chrono::seconds(100));

  std::atomic<bool> writing{true};
  std::atomic<int> answers{0}, wrong{0};
  std::thread writer([&] {
    for (int round = 0; round < 40; ++round) {
      // Replaced whole by a rename, as a publisher's copy tool does.
      const std::string next = tree / "next";
      WriteAged(next, std::string(200000, round % 2 ? 'x' : 'y'), std::chrono::seconds(90 - round));
      fs::rename(next, file);
      std::this_thread::yield();
    }
    writing = false;
  });
  std::vector<std::thread> readers;
  for (int i = 0; i < 6; ++i) {
    readers.emplace_back([&] {
      do {
        const auto replies = cache.Of(file, "a.hex");
        if (!replies) continue;
        ++answers;
        if (replies->md5 != md5x && replies->md5 != md5y) ++wrong;
      } while (writing);
    });
  }
  writer.join();
  for (std::thread& reader : readers) reader.join();
  EXPECT_GT(answers.load(), 0);
  EXPECT_EQ(wrong.load(), 0);
  // Once the writes have ended, the last version is what is answered.
  EXPECT_EQ(cache.Of(file, "a.hex")->md5, md5x);
}
