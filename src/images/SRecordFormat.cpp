#include "images/SRecordFormat.h"

#include <algorithm>
#include <array>

#include "base/FormatText.h"
#include "images/RecordText.h"

namespace pellux {

namespace {
uint8_t SumOfAddress(uint32_t address) {
  return static_cast<uint8_t>(address + (address >> 8) + (address >> 16) + (address >> 24));
}
}  // namespace

bool SRecordFormat::HasExtension(std::string_view upperExtension) const {
  // The usual names of Motorola S-record files.
  for (const char* srecord : {".S19", ".SREC", ".S28", ".S37", ".MOT"}) {
    if (upperExtension == srecord) return true;
  }
  return false;
}

bool SRecordFormat::Read(std::string_view text, std::vector<ImageElement>& elements,
                         std::string& errorText) const {
  RecordCursor cursor(text);
  const auto fail = [&](std::string message) {
    errorText = std::move(message);
    return false;
  };
  const auto notSRecords = [&] {
    return fail(FormatText("FILE : line %i: Not in Motorola S19 format!", cursor.line()));
  };
  const auto checksumError = [&] {
    return fail(FormatText("FILE : line %i: Checksum error!", cursor.line()));
  };
  const auto countError = [&](char type) {
    return fail(FormatText("FILE : line %i: S%c line 'byte count' error!", cursor.line(), type));
  };
  // Reads `count` address bytes and the checksum; false on a format error.
  const auto readAddress = [&](int count, uint32_t& address, uint8_t& sum) {
    address = 0;
    for (int i = 0; i < count; ++i) {
      uint8_t byte = 0;
      if (!cursor.ReadByte(byte)) return false;
      address = address << 8 | byte;
      sum = static_cast<uint8_t>(sum + byte);
    }
    return true;
  };

  std::array<uint8_t, 256> data{};
  while (!cursor.AtEnd()) {
    const char c = cursor.Next();
    if (cursor.SkipLineEnd(c) || c == ' ') continue;
    if (c != 'S' || cursor.AtEnd()) return notSRecords();
    const char type = cursor.Next();
    uint8_t count = 0;
    if (!cursor.ReadByte(count)) return notSRecords();
    uint8_t sum = count;
    uint32_t address = 0;
    uint8_t checksum = 0;
    switch (type) {
      case '0':
        if (!cursor.Skip(2u * count)) return notSRecords();
        break;
      case '1':
      case '2':
      case '3': {
        const int addressBytes = type - '0' + 1;
        if (count < addressBytes + 1) return notSRecords();
        const size_t dataBytes = count - addressBytes - 1;
        if (!readAddress(addressBytes, address, sum)) return notSRecords();
        for (size_t i = 0; i < dataBytes; ++i) {
          if (!cursor.ReadByte(data[i])) return notSRecords();
          sum = static_cast<uint8_t>(sum + data[i]);
        }
        if (!cursor.ReadByte(checksum)) return notSRecords();
        if (static_cast<uint8_t>(~sum) != checksum) return checksumError();
        AddRecordData(elements, address, data.data(), dataBytes);
        break;
      }
      case '5':
      case '6': {
        // Record counts: checked, not used.
        const int countBytes = type == '5' ? 2 : 3;
        if (count != countBytes + 1) return countError(type);
        if (!readAddress(countBytes, address, sum) || !cursor.ReadByte(checksum)) {
          return notSRecords();
        }
        if (static_cast<uint8_t>(~sum) != checksum) return checksumError();
        break;
      }
      case '7':
      case '8':
      case '9': {
        const bool countFits = (type == '7' && count == 5) || (type == '8' && count == 4) ||
                               (type == '9' && (count == 3 || count == 4));
        if (!countFits) return countError(type);
        if (!readAddress(count - 1, address, sum) || !cursor.ReadByte(checksum)) {
          return notSRecords();
        }
        if (static_cast<uint8_t>(~sum) != checksum) return checksumError();
        return true;  // what follows the termination record is not read
      }
      default:
        return notSRecords();
    }
  }
  return true;
}

std::string SRecordFormat::Write(const std::vector<ImageElement>& elements) const {
  uint64_t highest = 0;
  for (const ImageElement& element : elements) {
    if (element.size > 0) {
      highest = std::max<uint64_t>(highest, uint64_t{element.address} + element.size - 1);
    }
  }
  const char kind = highest < 0x10000 ? '1' : highest < 0x1000000 ? '2' : '3';
  const int addressBytes = kind - '0' + 1;

  std::string out;
  for (const ImageElement& element : elements) {
    for (size_t offset = 0; offset < element.size; offset += 32) {
      const size_t bytes = std::min<size_t>(32, element.size - offset);
      const uint32_t address = element.address + static_cast<uint32_t>(offset);
      const uint8_t count = static_cast<uint8_t>(bytes + addressBytes + 1);
      uint8_t sum = static_cast<uint8_t>(count + SumOfAddress(address));
      out.push_back('S');
      out.push_back(kind);
      AppendHexByte(out, count);
      AppendHexBytes(out, address, addressBytes);
      for (size_t i = 0; i < bytes; ++i) {
        const uint8_t byte = element.data[offset + i];
        AppendHexByte(out, byte);
        sum = static_cast<uint8_t>(sum + byte);
      }
      AppendHexByte(out, static_cast<uint8_t>(~sum));
      out.push_back('\n');
    }
  }
  // Every file ends with the termination record of its address size.
  out += kind == '1' ? "S9030000FC\n" : kind == '2' ? "S804000000FB\n" : "S70500000000FA\n";
  return out;
}

}  // namespace pellux
