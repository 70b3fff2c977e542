#include "images/FirmImage.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "base/FileHandle.h"
#include "images/BinaryFormat.h"
#include "images/ImageFormat.h"
#include "images/IntelHexFormat.h"
#include "images/SRecordFormat.h"

namespace pellux {

bool CFirmImage::fail(std::string text) {
  valid = false;
  errorText = std::move(text);
  return false;
}

bool CFirmImage::readFile(const std::string& path) {
  const ImageFormat* format = ImageFormatOfPath(path);
  if (format == nullptr) return fail("FILE : unknown file type");
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail("FILE : cannot be opened");
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return fail("FILE : cannot be read");
  return readWith(*format, content);
}

bool CFirmImage::readWith(const ImageFormat& format, std::string_view content) {
  elements.clear();
  std::string error;
  if (!format.Read(content, elements, error)) return fail(std::move(error));
  normalise();
  return true;
}

bool CFirmImage::readSRecords(std::string_view text) {
  return readWith(SRecordFormat(), text);
}

bool CFirmImage::readIntelHex(std::string_view text) {
  return readWith(IntelHexFormat(), text);
}

void CFirmImage::readBinary(std::span<const uint8_t> bytes) {
  readWith(BinaryFormat(),
           std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
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
  return SRecordFormat().Write(elements);
}

std::string CFirmImage::toIntelHex() const {
  return IntelHexFormat().Write(elements);
}

bool CFirmImage::writeFile(const std::string& path) const {
  const ImageFormat* format = ImageFormatOfPath(path);
  if (!valid || format == nullptr) return false;
  const std::string content = format->Write(elements);
  FileHandle file = OpenFile(path, "wb");
  if (!file) return false;
  const bool written = std::fwrite(content.data(), 1, content.size(), file.get()) == content.size();
  return CloseFile(file) && written;
}

bool IsImageFileName(const std::string& path) {
  return ImageFormatOfPath(path) != nullptr;
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

}  // namespace pellux
