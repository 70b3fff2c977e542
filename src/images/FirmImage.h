#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "images/ImageElement.h"

namespace pellux {

class ImageFormat;

// Result codes of the image and map operations.
inline constexpr uint32_t kImageSuccess = 0x12340000;
// The file could not be opened, was of an unknown type or failed to parse.
inline constexpr uint32_t kImageFileError = 0x12346005;
// Any other failure: no image, no device map, the file could not be written.
inline constexpr uint32_t kImageFailure = 0x12346008;

// A firmware image: address ranges with bytes. After a successful file read
// the elements are sorted by address and no element ends exactly where the
// next begins. Overlaps are kept as they are.
class CFirmImage {
 public:
  CFirmImage() = default;
  virtual ~CFirmImage() = default;

  // Reads a file by its extension (see IsImageFileName). On failure
  // the image becomes invalid and errorText says why.
  bool readFile(const std::string& path);
  // Parsers over text already in memory (used by readFile, and by tests).
  bool readSRecords(std::string_view text);
  bool readIntelHex(std::string_view text);
  void readBinary(std::span<const uint8_t> bytes);

  // Writes by the path's extension; false when the type is unknown, the
  // image is invalid or the file cannot be written.
  bool writeFile(const std::string& path) const;
  std::string toSRecords() const;
  std::string toIntelHex() const;

  // Sorts by address and merges contiguous neighbours.
  void normalise();

  std::vector<ImageElement> elements;
  bool valid = true;
  std::string errorText;
  std::string name;
  bool hasName = false;

 private:
  bool fail(std::string text);
  bool readWith(const ImageFormat& format, std::string_view content);
};

// True when the name's extension is one the image files are read and
// written by: .hex, .bin, and .s19, .srec, .s28, .s37, .mot (any case).
bool IsImageFileName(const std::string& path);

// An empty, valid image. Always kImageSuccess.
uint32_t createImage(std::unique_ptr<CFirmImage>& out);
// Reads a file by its extension. On failure `out` is left empty and the
// result is kImageFileError; `errorText`, when given, receives the reason.
uint32_t loadImageFile(const std::string& path, std::unique_ptr<CFirmImage>& out,
                       std::string* errorText = nullptr);
// Writes by extension: kImageSuccess or kImageFailure.
uint32_t saveImageFile(const std::string& path, const CFirmImage& image);

// Element access. Each fails (false) on an invalid image.
bool setImageName(CFirmImage& image, const std::string& name);
bool elementCount(const CFirmImage& image, size_t& count);
// Copies address and size; the bytes only when `copyData`. False if index >= count.
bool getElement(const CFirmImage& image, size_t index, ImageElement& element, bool copyData);
// insert: a new element at index (index <= count). Replace: the element at
// index (index < count) takes the new address and a copy of the bytes.
bool setElement(CFirmImage& image, size_t index, bool insert, uint32_t address,
                std::span<const uint8_t> data);
bool removeElement(CFirmImage& image, size_t index);

}  // namespace pellux
