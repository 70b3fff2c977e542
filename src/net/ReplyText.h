#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pellux {

// A short server reply as text: read in chunks of at most 1024 bytes, each
// chunk ending at its first zero byte. Replies are meant to be a few dozen
// bytes; anything beyond 1 MB is refused.
class ReplyText {
 public:
  // False once the reply has grown beyond the limit.
  bool Add(std::string_view bytes);
  // The text of everything added so far.
  std::string Finish();

 private:
  void EndChunk();

  std::string text_;
  std::string chunk_;
  size_t received_ = 0;
};

}  // namespace pellux
