#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One line saying whether the board's FPGA store (the last image received,
// in whole blocks of `blockSize`) holds `image`: "FPGA store matches <name>:
// N bytes ..." or why not. Bytes past the image in its last block are padding.
std::string FpgaComparisonLine(const std::string& imageName, const std::vector<uint8_t>& store,
                               int imagesReceived, const std::vector<uint8_t>& image,
                               size_t blockSize);

// The servo drive's parameter table as one line, names in order:
// "servo drive holds 2 parameters: P0-01=2 P1-02=100; auto-tuning started".
std::string ServoParametersLine(const std::map<std::string, std::string>& parameters,
                                bool tuningStarted);

// The board's extend settings as one line: "board extend settings: punch
// positions 100.5 200.5 ...; press speed 120.000000" (no press speed on a
// board that keeps none).
std::string ExtendSettingsLine(const std::vector<std::string>& punchPositions,
                               const std::string* pressSpeed);
