#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "images/ImageElement.h"

namespace pellux {

// What the text formats (Intel HEX, S-records) share: reading hexadecimal
// records line by line, and writing hexadecimal bytes.

// Walks a text record by record, keeping the line number for messages.
class RecordCursor {
 public:
  explicit RecordCursor(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Next() { return text_[pos_++]; }
  int line() const { return line_; }

  // Line ends: CR LF counts as one, a lone CR or LF as one.
  bool SkipLineEnd(char c);
  // Two hexadecimal digits; false (nothing consumed) when there are none.
  bool ReadByte(uint8_t& value);
  bool Skip(size_t characters);

 private:
  std::string_view text_;
  size_t pos_ = 0;
  int line_ = 1;
};

// Adds a record's bytes: to the last element when they continue it, else as
// a new element.
void AddRecordData(std::vector<ImageElement>& elements, uint32_t address, const uint8_t* data,
                   size_t size);

void AppendHexByte(std::string& out, uint8_t value);
// The low `bytes` bytes of `value`, most significant first.
void AppendHexBytes(std::string& out, uint32_t value, int bytes);

}  // namespace pellux
