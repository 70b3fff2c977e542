// The DER of a publisher's signature and key, as a hostile server or key
// file may send it: whatever is accepted is exactly the one strict encoding
// of what was read from it, and nothing is read outside the input.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "net/SignatureEncoding.h"

using namespace pellux;

namespace {
// The minimal DER INTEGER of a 32-byte big-endian unsigned value.
std::string DerInteger(const uint8_t* value) {
  size_t skip = 0;
  while (skip < 31 && value[skip] == 0) ++skip;
  std::string content(reinterpret_cast<const char*>(value) + skip, 32 - skip);
  if (static_cast<uint8_t>(content[0]) & 0x80) content.insert(content.begin(), '\0');
  return std::string("\x02", 1) + static_cast<char>(content.size()) + content;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  if (const auto raw = RawP256Signature(input)) {
    const std::string body = DerInteger(raw->data()) + DerInteger(raw->data() + 32);
    const std::string der = std::string("\x30", 1) + static_cast<char>(body.size()) + body;
    FUZZ_CHECK(der == input, "an accepted signature is its own strict DER");
  }
  if (const auto point = P256PointOfPublicKeyInfo(input)) {
    FUZZ_CHECK(input.size() == 91, "a P-256 key's SubjectPublicKeyInfo is 91 bytes");
    FUZZ_CHECK(input.substr(27) ==
                   std::string_view(reinterpret_cast<const char*>(point->data()), point->size()),
               "the point is the key's last 64 bytes");
  }
  if (const auto decoded = DecodeBase64(input)) {
    size_t padding = 0;
    while (padding < input.size() && input[input.size() - 1 - padding] == '=') ++padding;
    FUZZ_CHECK(input.size() % 4 == 0 && padding <= 2, "only whole, padded groups");
    FUZZ_CHECK(decoded->size() == input.size() / 4 * 3 - padding, "three bytes a group");
  }
  return 0;
}
