#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes a folder of sample update content for the reference update server:
// machlist.txt, and <KEY>/<MODE>/<file> trees with firmware (Intel HEX for
// the high-density and the F4 board), an FPGA image, an application package,
// a servo setting file, a step record file, and the ETC folder.
struct SampleContent {
  std::string root;
  // What the demo checks against: the image of the default firmware file.
  uint32_t firmwareAddress = 0x08000000;
  std::vector<uint8_t> firmware;
  std::string firmwareFile;    // NR2/FIRMWARE/<firmwareFile> (high-density, listed first)
  std::string f4FirmwareFile;  // NR2/FIRMWARE/<f4FirmwareFile>
  std::vector<uint8_t> fpgaImage;
  std::string fpgaFile;
};

// Fills `root` (created if missing). False with `error` set when a file
// cannot be written.
bool WriteSampleContent(const std::string& root, SampleContent& content, std::string& error);

// Building blocks, also used by the tests of the twins.
std::string IntelHexOf(uint32_t address, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> StoredZipOf(const std::vector<std::pair<std::string, std::string>>& files);
std::vector<uint8_t> StepRecordOf(const std::vector<std::vector<uint8_t>>& masterMessages,
                                  const std::vector<int>& slaveReplyLengths, int pause10ms);
