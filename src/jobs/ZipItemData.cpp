#include "jobs/ZipItemData.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "jobs/LittleEndian.h"

namespace pellux {

namespace {
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kInputChunk = 16 * 1024;

const char* const kDamaged = "its data is damaged";

// zlib's raw inflate state, ended on every way out.
class RawInflate {
 public:
  RawInflate() { ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
  ~RawInflate() {
    if (ready_) inflateEnd(&stream_);
  }
  RawInflate(const RawInflate&) = delete;
  RawInflate& operator=(const RawInflate&) = delete;
  bool ready() const { return ready_; }
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

// The compressed bytes of one item, read in chunks.
class CompressedInput {
 public:
  CompressedInput(std::istream& file, std::uint64_t size) : file_(file), remaining_(size) {}
  bool AtEnd() const { return remaining_ == 0; }
  // Reads up to `limit` bytes; false when the file ends before the item does.
  bool Next(size_t limit, std::string& chunk) {
    chunk.resize(static_cast<size_t>(std::min<std::uint64_t>(remaining_, limit)));
    file_.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    if (file_.gcount() != static_cast<std::streamsize>(chunk.size())) return false;
    remaining_ -= chunk.size();
    return true;
  }

 private:
  std::istream& file_;
  std::uint64_t remaining_;
};

class Checked {
 public:
  void Add(std::string_view piece) {
    crc_ =
        crc32(crc_, reinterpret_cast<const Bytef*>(piece.data()), static_cast<uInt>(piece.size()));
    length_ += piece.size();
  }
  bool Matches(const ZipItemInfo& item, const ZipItemPlace& place) const {
    return length_ == item.size && crc_ == place.crc32;
  }
  bool Exceeds(const ZipItemInfo& item) const { return length_ > item.size; }

 private:
  uLong crc_ = crc32(0, nullptr, 0);
  std::uint64_t length_ = 0;
};

bool ReadStored(CompressedInput& input, size_t pieceSize, const ZipPieceSink& sink,
                Checked& checked, std::string& error) {
  std::string piece;
  while (!input.AtEnd()) {
    if (!input.Next(pieceSize, piece)) {
      error = kDamaged;
      return false;
    }
    checked.Add(piece);
    if (!sink(piece, error)) return false;
  }
  return true;
}

bool ReadDeflated(CompressedInput& input, size_t pieceSize, const ZipPieceSink& sink,
                  const ZipItemInfo& item, Checked& checked, std::string& error) {
  RawInflate inflater;
  if (!inflater.ready()) {
    error = "the decompressor cannot start";
    return false;
  }
  z_stream& stream = inflater.stream();
  std::string chunk;
  std::vector<char> out(pieceSize);
  for (;;) {
    if (stream.avail_in == 0 && !input.AtEnd()) {
      if (!input.Next(kInputChunk, chunk)) {
        error = kDamaged;
        return false;
      }
      stream.next_in = reinterpret_cast<Bytef*>(chunk.data());
      stream.avail_in = static_cast<uInt>(chunk.size());
    }
    const uInt before = stream.avail_in;
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&stream, Z_NO_FLUSH);
    const size_t produced = out.size() - stream.avail_out;
    const bool stuck = produced == 0 && stream.avail_in == before;
    if ((result != Z_OK && result != Z_STREAM_END) || (result == Z_OK && stuck)) {
      error = kDamaged;  // a broken stream, or one that ends before its final block
      return false;
    }
    const std::string_view piece(out.data(), produced);
    checked.Add(piece);
    if (checked.Exceeds(item)) {
      error = kDamaged;
      return false;
    }
    if (!piece.empty() && !sink(piece, error)) return false;
    if (result == Z_STREAM_END) return true;
  }
}
}  // namespace

bool ReadZipItemData(std::istream& file, const ZipItemInfo& item, const ZipItemPlace& place,
                     size_t pieceSize, const ZipPieceSink& sink, ZipItemTimes& times,
                     std::string& error) {
  std::string header(kLocalHeaderSize, '\0');
  file.clear();
  file.seekg(static_cast<std::streamoff>(place.localHeaderOffset));
  file.read(header.data(), static_cast<std::streamsize>(header.size()));
  if (file.gcount() != static_cast<std::streamsize>(header.size()) ||
      ReadLittleEndian(header, 0, 4) != kLocalSignature) {
    error = "its data cannot be read";
    return false;
  }
  const size_t nameLength = ReadLittleEndian(header, 26, 2);
  std::string extra(ReadLittleEndian(header, 28, 2), '\0');
  file.seekg(static_cast<std::streamoff>(nameLength), std::ios::cur);
  file.read(extra.data(), static_cast<std::streamsize>(extra.size()));
  if (file.gcount() != static_cast<std::streamsize>(extra.size())) {
    error = "its data cannot be read";
    return false;
  }
  times = item.times;
  ApplyExtendedTimestamp(extra, times);

  CompressedInput input(file, place.compressedSize);
  Checked checked;
  const bool read = item.method == 0 ? ReadStored(input, pieceSize, sink, checked, error)
                                     : ReadDeflated(input, pieceSize, sink, item, checked, error);
  if (!read) return false;
  if (!checked.Matches(item, place)) {
    error = kDamaged;
    return false;
  }
  return true;
}

}  // namespace pellux
