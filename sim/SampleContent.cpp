#include "SampleContent.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace {
bool WriteBytes(const fs::path& path, const void* data, size_t size, std::string& error) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) {
    error = "cannot write " + path.string();
    return false;
  }
  return true;
}

bool WriteText(const fs::path& path, const std::string& text, std::string& error) {
  return WriteBytes(path, text.data(), text.size(), error);
}

bool WriteVector(const fs::path& path, const std::vector<uint8_t>& bytes, std::string& error) {
  return WriteBytes(path, bytes.data(), bytes.size(), error);
}

// A firmware image that looks like a Cortex-M program: stack pointer and reset
// vector first, then code-like bytes.
std::vector<uint8_t> FirmwareImage(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  const uint32_t words[2] = {0x2000C000u, 0x08000101u};
  for (int w = 0; w < 2; ++w)
    for (int i = 0; i < 4; ++i) bytes[w * 4 + i] = static_cast<uint8_t>(words[w] >> (8 * i));
  return bytes;
}

uint32_t Crc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v));
  Put16(out, static_cast<uint16_t>(v >> 16));
}
}  // namespace

std::string IntelHexOf(uint32_t address, const std::vector<uint8_t>& bytes) {
  std::string text;
  char line[80];
  uint32_t upper = 0xFFFFFFFFu;
  for (size_t offset = 0; offset < bytes.size();) {
    const uint32_t at = address + static_cast<uint32_t>(offset);
    if ((at >> 16) != upper) {
      upper = at >> 16;
      const uint8_t sum = static_cast<uint8_t>(2 + 4 + (upper >> 8) + (upper & 0xFF));
      std::snprintf(line, sizeof line, ":02000004%04X%02X\n", upper,
                    static_cast<uint8_t>(0x100 - sum) & 0xFF);
      text += line;
    }
    // A record never crosses a 64 KB boundary.
    size_t count = std::min<size_t>(16, bytes.size() - offset);
    count = std::min<size_t>(count, 0x10000 - (at & 0xFFFF));
    uint8_t sum = static_cast<uint8_t>(count + ((at >> 8) & 0xFF) + (at & 0xFF));
    std::snprintf(line, sizeof line, ":%02X%04X00", static_cast<unsigned>(count), at & 0xFFFF);
    text += line;
    for (size_t i = 0; i < count; ++i) {
      std::snprintf(line, sizeof line, "%02X", bytes[offset + i]);
      text += line;
      sum = static_cast<uint8_t>(sum + bytes[offset + i]);
    }
    std::snprintf(line, sizeof line, "%02X\n", static_cast<uint8_t>(0x100 - sum) & 0xFF);
    text += line;
    offset += count;
  }
  text += ":00000001FF\n";
  return text;
}

std::vector<uint8_t> StoredZipOf(const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<uint8_t> zip, central;
  const uint16_t dosTime = (12 << 11), dosDate = ((2026 - 1980) << 9) | (12 << 5) | 8;
  for (const auto& [name, data] : files) {
    const uint32_t crc = Crc32(data);
    const uint32_t offset = static_cast<uint32_t>(zip.size());
    Put32(zip, 0x04034b50);
    Put16(zip, 10);
    Put16(zip, 0);
    Put16(zip, 0);  // stored
    Put16(zip, dosTime);
    Put16(zip, dosDate);
    Put32(zip, crc);
    Put32(zip, static_cast<uint32_t>(data.size()));
    Put32(zip, static_cast<uint32_t>(data.size()));
    Put16(zip, static_cast<uint16_t>(name.size()));
    Put16(zip, 0);
    zip.insert(zip.end(), name.begin(), name.end());
    zip.insert(zip.end(), data.begin(), data.end());

    Put32(central, 0x02014b50);
    Put16(central, 20);
    Put16(central, 10);
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, dosTime);
    Put16(central, dosDate);
    Put32(central, crc);
    Put32(central, static_cast<uint32_t>(data.size()));
    Put32(central, static_cast<uint32_t>(data.size()));
    Put16(central, static_cast<uint16_t>(name.size()));
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put16(central, 0);
    Put32(central, name.back() == '/' ? 0x10 : 0x20);  // DOS directory / archive
    Put32(central, offset);
    central.insert(central.end(), name.begin(), name.end());
  }
  const uint32_t centralOffset = static_cast<uint32_t>(zip.size());
  zip.insert(zip.end(), central.begin(), central.end());
  Put32(zip, 0x06054b50);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, static_cast<uint16_t>(files.size()));
  Put16(zip, static_cast<uint16_t>(files.size()));
  Put32(zip, static_cast<uint32_t>(central.size()));
  Put32(zip, centralOffset);
  Put16(zip, 0);
  return zip;
}

std::vector<uint8_t> StepRecordOf(const std::vector<std::vector<uint8_t>>& masterMessages,
                                  const std::vector<int>& slaveReplyLengths, int pause10ms) {
  std::vector<uint8_t> file;
  auto record = [&](uint8_t type, const std::vector<uint8_t>& values) {
    const size_t length = values.size() * 2;
    file.push_back(type);
    file.push_back(static_cast<uint8_t>(length >> 8));
    file.push_back(static_cast<uint8_t>(length));
    for (uint8_t v : values) {
      file.push_back(v);
      file.push_back(static_cast<uint8_t>(pause10ms));
    }
  };
  for (size_t i = 0; i < masterMessages.size(); ++i) {
    record(1, masterMessages[i]);
    if (i < slaveReplyLengths.size()) {
      record(2, std::vector<uint8_t>(static_cast<size_t>(slaveReplyLengths[i]), 0x06));
    }
  }
  return file;
}

bool WriteSampleContent(const std::string& rootText, SampleContent& content, std::string& error) {
  const fs::path root(rootText);
  content.root = rootText;
  const std::string machines =
      "Alpha Profile Bender,APB\n"
      "New R2 Bender,NR2\n"
      "R1 Bender with Puncher Selector,R1PS\n"
      "Strip Trimmer,STRIPTRIMMER\n"
      "Profile Notcher,PROFILENOTCHER\n"
      "Custom Bender (choose a file),CUSTOM\n"
      "Plain Rim (no updates),NONE\n";
  if (!WriteText(root / "machlist.txt", machines, error)) return false;

  content.firmware = FirmwareImage(24 * 1024, 2026);
  content.firmwareFile = "NR2_FW_V251112.hex";
  content.f4FirmwareFile = "NR2-F4-FW_V251112.hex";
  content.fpgaImage = FirmwareImage(20000, 7);
  content.fpgaFile = "NR2_FPGA_V0307.bin";
  const std::string settings =
      "CSD servo settings for the New R2 Bender\n"
      "P0-01=2 // control mode\n"
      "P1-02=100\t\t/ speed limit\n"
      "P2-10=3000 / acceleration time\n"
      "999=0 / auto tuning\n";
  const std::vector<uint8_t> record =
      StepRecordOf({{0x02, 0x10, 0x03}, {0x02, 0x20, 0x01, 0x03}, {0x02, 0x7F, 0x03}}, {2, 3}, 1);

  for (const std::string key : {"NR2", "R1PS", "APB"}) {
    const fs::path base = root / key;
    if (!WriteText(base / "FIRMWARE" / content.firmwareFile,
                   IntelHexOf(content.firmwareAddress, content.firmware), error) ||
        !WriteText(base / "FIRMWARE" / content.f4FirmwareFile,
                   IntelHexOf(content.firmwareAddress, content.firmware), error) ||
        !WriteText(base / "FIRMWARE" / ".filelist",
                   content.firmwareFile + "\n" + content.f4FirmwareFile + "\n", error) ||
        !WriteVector(base / "FPGA" / content.fpgaFile, content.fpgaImage, error) ||
        !WriteVector(base / "APPLICATION" / "FabroSetup_V3.1.zip",
                     StoredZipOf({{"bin/", ""},
                                  {"bin/fabro.ini", "[Fabro]\nVersion=3.1\n"},
                                  {"CFG/machine.cfg", "# replaced by the machine's own\n"},
                                  {"EL/README.txt", "Element library\n"}}),
                     error) ||
        !WriteText(base / "SERVO" / (key + "_CSD_Setting.txt"), settings, error) ||
        !WriteVector(base / "STEP" / (key + "_StepDrive.rec"), record, error)) {
      return false;
    }
  }
  return WriteText(root / "ETC" / "Manual.txt", "PelluxUpdate service manual\n", error) &&
         WriteText(root / "ETC" / "Drivers.txt", "USB serial drivers\n", error);
}
