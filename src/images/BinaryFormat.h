#pragma once

#include "images/ImageFormat.h"

namespace pellux {

// Raw binary (.BIN): the bytes as they are, placed at 0x08000000.
class BinaryFormat : public ImageFormat {
 public:
  bool HasExtension(std::string_view upperExtension) const override;
  bool CarriesAddresses() const override { return false; }
  bool Read(std::string_view content, std::vector<ImageElement>& elements,
            std::string& errorText) const override;
  std::string Write(const std::vector<ImageElement>& elements) const override;
};

}  // namespace pellux
