#include "images/RecordText.h"

namespace pellux {

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
}  // namespace

bool RecordCursor::SkipLineEnd(char c) {
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

bool RecordCursor::ReadByte(uint8_t& value) {
  if (text_.size() - pos_ < 2) return false;
  const int high = HexDigit(text_[pos_]);
  const int low = HexDigit(text_[pos_ + 1]);
  if (high < 0 || low < 0) return false;
  value = static_cast<uint8_t>(high << 4 | low);
  pos_ += 2;
  return true;
}

bool RecordCursor::Skip(size_t characters) {
  if (text_.size() - pos_ < characters) return false;
  pos_ += characters;
  return true;
}

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

}  // namespace pellux
