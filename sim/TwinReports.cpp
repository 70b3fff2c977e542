#include "TwinReports.h"

#include "HexText.h"

std::string FpgaComparisonLine(const std::string& imageName, const std::vector<uint8_t>& store,
                               int imagesReceived, const std::vector<uint8_t>& image,
                               size_t blockSize) {
  const std::string what = imageName + ": " + std::to_string(image.size()) + " bytes";
  if (imagesReceived == 0)
    return "FPGA store empty (no image received), cannot compare with " + what;
  const std::string held = "the store holds " + std::to_string(store.size()) + " bytes";
  if (store.size() < image.size() || store.size() - image.size() >= blockSize) {
    return "FPGA store does NOT match " + what + ": " + held;
  }
  for (size_t i = 0; i < image.size(); ++i) {
    if (store[i] == image[i]) continue;
    return "FPGA store does NOT match " + what + ": first difference at byte " + std::to_string(i) +
           " (store " + Hex8(store[i]) + ", image " + Hex8(image[i]) + ")";
  }
  return "FPGA store matches " + what + " (" + std::to_string(store.size()) +
         " with the last block's padding)";
}

std::string ServoParametersLine(const std::map<std::string, std::string>& parameters,
                                bool tuningStarted) {
  std::string line = "servo drive holds ";
  if (parameters.empty()) {
    line += "no parameters";
  } else {
    line += std::to_string(parameters.size()) +
            (parameters.size() == 1 ? " parameter:" : " parameters:");
    for (const auto& [name, value] : parameters) line += " " + name + "=" + value;
  }
  return line + (tuningStarted ? "; auto-tuning started" : "; auto-tuning not started");
}

std::string ExtendSettingsLine(const std::vector<std::string>& punchPositions,
                               const std::string* pressSpeed) {
  std::string line = "board extend settings: punch positions";
  for (const std::string& position : punchPositions) line += " " + position;
  if (pressSpeed != nullptr) line += "; press speed " + *pressSpeed;
  return line;
}
