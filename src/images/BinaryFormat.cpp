#include "images/BinaryFormat.h"

#include "images/RecordText.h"

namespace pellux {

namespace {
// Where the flash loader's download address moves it anyway.
constexpr uint32_t kBinaryBase = 0x08000000;
}  // namespace

bool BinaryFormat::HasExtension(std::string_view upperExtension) const {
  return upperExtension == ".BIN";
}

bool BinaryFormat::Read(std::string_view content, std::vector<ImageElement>& elements,
                        std::string& /*errorText*/) const {
  AddRecordData(elements, kBinaryBase, reinterpret_cast<const uint8_t*>(content.data()),
                content.size());
  return true;
}

std::string BinaryFormat::Write(const std::vector<ImageElement>& elements) const {
  std::string content;
  for (const ImageElement& element : elements) {
    content.append(element.data.begin(), element.data.end());
  }
  return content;
}

}  // namespace pellux
