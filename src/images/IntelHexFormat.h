#pragma once

#include "images/ImageFormat.h"

namespace pellux {

// Intel HEX (.HEX): data, end of file, extended segment and linear addresses.
class IntelHexFormat : public ImageFormat {
 public:
  bool HasExtension(std::string_view upperExtension) const override;
  bool CarriesAddresses() const override { return true; }
  bool Read(std::string_view content, std::vector<ImageElement>& elements,
            std::string& errorText) const override;
  std::string Write(const std::vector<ImageElement>& elements) const override;
};

}  // namespace pellux
