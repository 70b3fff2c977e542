#pragma once

#include "images/ImageFormat.h"

namespace pellux {

// Motorola S-records (.S19, .SREC, .S28, .S37, .MOT): S1/S2/S3 data, S0 header,
// S5/S6 counts (checked, not used), S7/S8/S9 end.
class SRecordFormat : public ImageFormat {
 public:
  bool HasExtension(std::string_view upperExtension) const override;
  bool CarriesAddresses() const override { return true; }
  bool Read(std::string_view content, std::vector<ImageElement>& elements,
            std::string& errorText) const override;
  std::string Write(const std::vector<ImageElement>& elements) const override;
};

}  // namespace pellux
