#include "images/ImageFormat.h"

#include <filesystem>

#include "base/AsciiCase.h"
#include "images/BinaryFormat.h"
#include "images/IntelHexFormat.h"
#include "images/SRecordFormat.h"

namespace pellux {

const ImageFormat* ImageFormatOfPath(const std::string& path) {
  static const SRecordFormat sRecords;
  static const IntelHexFormat intelHex;
  static const BinaryFormat binary;
  static const ImageFormat* const formats[] = {&sRecords, &intelHex, &binary};
  const std::string extension = UpperAscii(std::filesystem::path(path).extension().string());
  for (const ImageFormat* format : formats) {
    if (format->HasExtension(extension)) return format;
  }
  return nullptr;
}

}  // namespace pellux
