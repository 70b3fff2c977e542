#include "flash/OptionBytes.h"

namespace pellux {

OptionByteBlock EncodeOptionBytes(uint32_t base, const OptionByteValues& v) {
  const auto n = [](uint8_t x) { return uint8_t(~x); };
  switch (base) {
    case kOptionBytesF1:
      return {v.rdp,  n(v.rdp),  v.user, n(v.user), v.data0, n(v.data0), v.data1, n(v.data1),
              v.wrp0, n(v.wrp0), v.wrp1, n(v.wrp1), v.wrp2,  n(v.wrp2),  v.wrp3,  n(v.wrp3)};
    case kOptionBytesL1:
      return {v.rdp,  0,      n(v.rdp),  0,         v.user, 0,      n(v.user), 0,
              v.wrp0, v.wrp1, n(v.wrp0), n(v.wrp1), v.wrp2, v.wrp3, n(v.wrp2), n(v.wrp3)};
    case kOptionBytesF2F4:
      return {v.user, v.rdp,  0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
              v.wrp0, v.wrp1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  }
  OptionByteBlock blank;
  blank.fill(0xFF);
  return blank;
}

std::optional<OptionByteValues> DecodeOptionBytes(uint32_t base, const OptionByteBlock& b) {
  OptionByteValues v;
  switch (base) {
    case kOptionBytesF1:
      v = {b[2], b[0], b[4], b[6], b[8], b[10], b[12], b[14]};
      return v;
    case kOptionBytesL1:
      v = {b[4], b[0], 0, 0, b[8], b[9], b[12], b[13]};
      return v;
    case kOptionBytesF2F4:
      v = {b[0], b[1], 0xFF, 0xFF, b[8], b[9], 0xFF, 0xFF};
      return v;
  }
  return std::nullopt;
}

}  // namespace pellux
