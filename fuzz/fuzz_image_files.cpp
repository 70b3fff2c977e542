// Firmware image files: the first byte picks the reader (Intel HEX,
// S-records, raw binary); whatever reads, writes out in every format and
// reads back to the same address ranges and bytes.
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "images/FirmImage.h"

using namespace pellux;

namespace {

bool SameElements(const CFirmImage& a, const CFirmImage& b) {
  if (a.elements.size() != b.elements.size()) return false;
  for (size_t i = 0; i < a.elements.size(); ++i) {
    const ImageElement& x = a.elements[i];
    const ImageElement& y = b.elements[i];
    if (x.address != y.address || x.size != y.size || x.data != y.data) return false;
  }
  return true;
}

void CheckShape(const CFirmImage& image) {
  for (size_t i = 0; i < image.elements.size(); ++i) {
    const ImageElement& element = image.elements[i];
    FUZZ_CHECK(element.size == element.data.size(), "an element's size is its byte count");
    FUZZ_CHECK(element.size > 0, "no empty element");
    FUZZ_CHECK(uint64_t{element.address} + element.size <= 0x100000000ull,
               "no element runs past the 32-bit address space");
    if (i == 0) continue;
    const ImageElement& previous = image.elements[i - 1];
    FUZZ_CHECK(previous.address <= element.address, "elements are sorted by address");
    FUZZ_CHECK(uint64_t{previous.address} + previous.size != element.address,
               "touching elements are merged");
  }
}

void CheckRoundTrip(const CFirmImage& image) {
  CFirmImage fromHex;
  FUZZ_CHECK(fromHex.readIntelHex(image.toIntelHex()), "written HEX reads back");
  FUZZ_CHECK(SameElements(image, fromHex), "HEX round trip keeps every range and byte");

  CFirmImage fromSRecords;
  FUZZ_CHECK(fromSRecords.readSRecords(image.toSRecords()), "written S-records read back");
  FUZZ_CHECK(SameElements(image, fromSRecords), "S-record round trip keeps every range and byte");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t format = data[0] % 3;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  CFirmImage image;
  bool read = true;
  if (format == 0) read = image.readIntelHex(text);
  if (format == 1) read = image.readSRecords(text);
  if (format == 2) image.readBinary({data + 1, size - 1});
  if (!read) {
    FUZZ_CHECK(!image.errorText.empty(), "a refused file says why");
    return 0;
  }
  CheckShape(image);
  CheckRoundTrip(image);
  return 0;
}
