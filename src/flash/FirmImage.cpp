#include "flash/FirmImage.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "jobs/JobConsole.h"

namespace {

enum class FileType { kUnknown, kSRecord, kIntelHex, kBinary };

FileType TypeOfPath(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  // The usual names of Motorola S-record files.
  for (const char* srecord : {".S19", ".SREC", ".S28", ".S37", ".MOT"})
    if (extension == srecord) return FileType::kSRecord;
  if (extension == ".HEX") return FileType::kIntelHex;
  if (extension == ".BIN") return FileType::kBinary;
  return FileType::kUnknown;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Walks a text record by record, keeping the line number for messages.
class RecordCursor {
 public:
  explicit RecordCursor(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Next() { return text_[pos_++]; }
  int line() const { return line_; }

  // Line ends: CR LF counts as one, a lone CR or LF as one.
  bool SkipLineEnd(char c) {
    if (c == '\n') {
      ++line_;
      return true;
    }
    if (c == '\r') {
      if (AtEnd() || text_[pos_] != '\n') ++line_;
      return true;
    }
    return false;
  }

  bool ReadByte(uint8_t& value) {
    if (text_.size() - pos_ < 2) return false;
    const int high = HexDigit(text_[pos_]);
    const int low = HexDigit(text_[pos_ + 1]);
    if (high < 0 || low < 0) return false;
    value = static_cast<uint8_t>(high << 4 | low);
    pos_ += 2;
    return true;
  }

  bool Skip(size_t characters) {
    if (text_.size() - pos_ < characters) return false;
    pos_ += characters;
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  int line_ = 1;
};

// Adds a record's bytes: to the last element when they continue it, else as a new element.
void AddRecordData(std::vector<ImageElement>& elements, uint32_t address, const uint8_t* data,
                   size_t size) {
  if (size == 0) return;
  if (!elements.empty()) {
    ImageElement& last = elements.back();
    if (static_cast<uint64_t>(last.address) + last.size == address) {
      last.data.insert(last.data.end(), data, data + size);
      last.size = static_cast<uint32_t>(last.data.size());
      return;
    }
  }
  ImageElement element;
  element.address = address;
  element.data.assign(data, data + size);
  element.size = static_cast<uint32_t>(size);
  elements.push_back(std::move(element));
}

void AppendHexByte(std::string& out, uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out.push_back(kDigits[value >> 4]);
  out.push_back(kDigits[value & 0x0F]);
}

void AppendHexBytes(std::string& out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) AppendHexByte(out, static_cast<uint8_t>(value >> (8 * i)));
}

uint8_t SumOfAddress(uint32_t address) {
  return static_cast<uint8_t>(address + (address >> 8) + (address >> 16) + (address >> 24));
}

}  // namespace

bool IsImageFileName(const std::string& path) {
  return TypeOfPath(path) != FileType::kUnknown;
}

bool CFirmImage::fail(std::string text) {
  valid = false;
  errorText = std::move(text);
  return false;
}

bool CFirmImage::readFile(const std::string& path) {
  const FileType type = TypeOfPath(path);
  if (type == FileType::kUnknown) return fail("FILE : unknown file type");
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail("FILE : cannot be opened");
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return fail("FILE : cannot be read");
  switch (type) {
    case FileType::kSRecord:
      return readSRecords(content);
    case FileType::kIntelHex:
      return readIntelHex(content);
    default:
      readBinary(std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size()));
      return true;
  }
}

bool CFirmImage::readSRecords(std::string_view text) {
  elements.clear();
  RecordCursor cursor(text);
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
        normalise();
        return true;
      }
      default:
        return notSRecords();
    }
  }
  normalise();
  return true;
}

bool CFirmImage::readIntelHex(std::string_view text) {
  elements.clear();
  RecordCursor cursor(text);
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
        normalise();
        return true;
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
  normalise();
  return true;
}

void CFirmImage::readBinary(std::span<const uint8_t> bytes) {
  elements.clear();
  if (bytes.empty()) return;
  // The flash loader moves it to the download address.
  AddRecordData(elements, 0x08000000, bytes.data(), bytes.size());
}

void CFirmImage::normalise() {
  std::stable_sort(
      elements.begin(), elements.end(),
      [](const ImageElement& a, const ImageElement& b) { return a.address < b.address; });
  std::vector<ImageElement> merged;
  merged.reserve(elements.size());
  for (ImageElement& element : elements) {
    if (!merged.empty()) {
      ImageElement& previous = merged.back();
      if (static_cast<uint64_t>(previous.address) + previous.size == element.address) {
        previous.data.insert(previous.data.end(), element.data.begin(), element.data.end());
        previous.size = static_cast<uint32_t>(previous.data.size());
        continue;
      }
    }
    merged.push_back(std::move(element));
  }
  elements = std::move(merged);
}

std::string CFirmImage::toSRecords() const {
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

std::string CFirmImage::toIntelHex() const {
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

bool CFirmImage::writeFile(const std::string& path) const {
  if (!valid) return false;
  std::string content;
  switch (TypeOfPath(path)) {
    case FileType::kSRecord:
      content = toSRecords();
      break;
    case FileType::kIntelHex:
      content = toIntelHex();
      break;
    case FileType::kBinary:
      for (const ImageElement& element : elements) {
        content.append(element.data.begin(), element.data.end());
      }
      break;
    default:
      return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

uint32_t createImage(std::unique_ptr<CFirmImage>& out) {
  out = std::make_unique<CFirmImage>();
  return kImageSuccess;
}

uint32_t loadImageFile(const std::string& path, std::unique_ptr<CFirmImage>& out,
                       std::string* errorText) {
  out.reset();
  auto image = std::make_unique<CFirmImage>();
  if (!image->readFile(path)) {
    if (errorText != nullptr) *errorText = image->errorText;
    return kImageFileError;
  }
  out = std::move(image);
  return kImageSuccess;
}

uint32_t saveImageFile(const std::string& path, const CFirmImage& image) {
  return image.writeFile(path) ? kImageSuccess : kImageFailure;
}

bool setImageName(CFirmImage& image, const std::string& name) {
  if (!image.valid) return false;
  image.name = name;
  image.hasName = true;
  return true;
}

bool elementCount(const CFirmImage& image, size_t& count) {
  if (!image.valid) return false;
  count = image.elements.size();
  return true;
}

bool getElement(const CFirmImage& image, size_t index, ImageElement& element, bool copyData) {
  if (!image.valid || index >= image.elements.size()) return false;
  const ImageElement& source = image.elements[index];
  element.address = source.address;
  element.size = source.size;
  if (copyData) element.data = source.data;
  return true;
}

bool setElement(CFirmImage& image, size_t index, bool insert, uint32_t address,
                std::span<const uint8_t> data) {
  if (!image.valid) return false;
  ImageElement element;
  element.address = address;
  element.size = static_cast<uint32_t>(data.size());
  element.data.assign(data.begin(), data.end());
  if (insert) {
    if (index > image.elements.size()) return false;
    image.elements.insert(image.elements.begin() + static_cast<ptrdiff_t>(index),
                          std::move(element));
  } else {
    if (index >= image.elements.size()) return false;
    image.elements[index] = std::move(element);
  }
  return true;
}

bool removeElement(CFirmImage& image, size_t index) {
  if (!image.valid || index >= image.elements.size()) return false;
  image.elements.erase(image.elements.begin() + static_cast<ptrdiff_t>(index));
  return true;
}
