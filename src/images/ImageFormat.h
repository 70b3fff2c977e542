#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "images/ImageElement.h"

namespace pellux {

// One firmware file format (Intel HEX, Motorola S-record, raw binary). The
// format of a file is chosen by its extension, whatever its case.
class ImageFormat {
 public:
  virtual ~ImageFormat() = default;

  // True when the extension (with its dot, upper case) names this format.
  virtual bool HasExtension(std::string_view upperExtension) const = 0;
  // False for raw binary: its bytes carry no address, the flash loader
  // places them.
  virtual bool CarriesAddresses() const = 0;
  // Appends the records of `content` to `elements` in file order (the
  // caller sorts and merges). False with `errorText` on the first fault;
  // what was read before it stays in `elements`.
  virtual bool Read(std::string_view content, std::vector<ImageElement>& elements,
                    std::string& errorText) const = 0;
  // The file content for `elements`, which are sorted and merged.
  virtual std::string Write(const std::vector<ImageElement>& elements) const = 0;
};

// The format of a file by its name's extension; null for none.
const ImageFormat* ImageFormatOfPath(const std::string& path);

}  // namespace pellux
