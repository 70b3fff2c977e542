#include "images/IntelHexFormat.h"

#include <algorithm>
#include <array>

#include "base/FormatText.h"
#include "images/RecordText.h"

namespace pellux {

bool IntelHexFormat::HasExtension(std::string_view upperExtension) const {
  return upperExtension == ".HEX";
}

bool IntelHexFormat::Read(std::string_view text, std::vector<ImageElement>& elements,
                          std::string& errorText) const {
  RecordCursor cursor(text);
  const auto fail = [&](std::string message) {
    errorText = std::move(message);
    return false;
  };
  const auto notHex = [&] {
    return fail(FormatText("FILE : line %i: Not in Intel Hex format!", cursor.line()));
  };
  uint32_t upperLinear = 0;
  uint32_t segmentBase = 0;
  std::array<uint8_t, 256> data{};
  while (!cursor.AtEnd()) {
    const char c = cursor.Next();
    if (cursor.SkipLineEnd(c) || c == ' ') continue;
    if (c != ':') return notHex();
    uint8_t count = 0, offsetHigh = 0, offsetLow = 0, type = 0, checksum = 0;
    if (!cursor.ReadByte(count) || !cursor.ReadByte(offsetHigh) || !cursor.ReadByte(offsetLow) ||
        !cursor.ReadByte(type)) {
      return notHex();
    }
    uint8_t sum = static_cast<uint8_t>(count + offsetHigh + offsetLow + type);
    for (size_t i = 0; i < count; ++i) {
      if (!cursor.ReadByte(data[i])) return notHex();
      sum = static_cast<uint8_t>(sum + data[i]);
    }
    if (!cursor.ReadByte(checksum)) return notHex();
    if (static_cast<uint8_t>(sum + checksum) != 0) {
      return fail(FormatText("FILE : line %i: Bad hexadecimal checksum!", cursor.line()));
    }
    const uint32_t offset = static_cast<uint32_t>(offsetHigh) << 8 | offsetLow;
    switch (type) {
      case 0x00:
        AddRecordData(elements, offset + upperLinear * 0x10000u + segmentBase * 16u, data.data(),
                      count);
        break;
      case 0x01:
        return true;  // what follows the end-of-file record is not read
      case 0x02:
      case 0x04:
        // A base needs exactly its two bytes.
        if (count != 2) return notHex();
        (type == 0x02 ? segmentBase : upperLinear) = static_cast<uint32_t>(data[0]) << 8 | data[1];
        break;
      case 0x03:
      case 0x05:
        break;
      default:
        return notHex();
    }
  }
  return true;
}

std::string IntelHexFormat::Write(const std::vector<ImageElement>& elements) const {
  std::string out;
  // The zero segment base comes first: readers that let the last base
  // record win (srec_cat) and readers that add both (objcopy) then agree.
  const auto appendLinearAddress = [&](uint32_t upper) {
    out += ":020000020000FC\n:02000004";
    AppendHexBytes(out, upper, 2);
    AppendHexByte(out, static_cast<uint8_t>(-(0x06 + (upper >> 8) + upper)));
    out.push_back('\n');
  };
  for (const ImageElement& element : elements) {
    size_t recordsSinceAddress = 0;
    bool addressWritten = false;
    uint32_t upper = 0;
    for (size_t offset = 0; offset < element.size;) {
      const uint32_t address = element.address + static_cast<uint32_t>(offset);
      // A new upper address at the start, every 256 records, and wherever
      // the data crosses into the next 64 KB.
      if (!addressWritten || recordsSinceAddress == 256 || address >> 16 != upper) {
        upper = address >> 16;
        appendLinearAddress(upper);
        addressWritten = true;
        recordsSinceAddress = 0;
      }
      // No record runs past a 64 KB boundary.
      const size_t bytes = std::min<size_t>(
          {32, element.size - offset, 0x10000 - static_cast<size_t>(address & 0xFFFF)});
      uint8_t sum = static_cast<uint8_t>(bytes + (address >> 8) + address);
      out.push_back(':');
      AppendHexByte(out, static_cast<uint8_t>(bytes));
      AppendHexBytes(out, address & 0xFFFF, 2);
      out += "00";
      for (size_t i = 0; i < bytes; ++i) {
        const uint8_t byte = element.data[offset + i];
        AppendHexByte(out, byte);
        sum = static_cast<uint8_t>(sum + byte);
      }
      AppendHexByte(out, static_cast<uint8_t>(-sum));
      out.push_back('\n');
      offset += bytes;
      ++recordsSinceAddress;
    }
  }
  out += ":00000001FF\n";
  return out;
}

}  // namespace pellux
