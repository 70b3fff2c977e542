#pragma once

#include <functional>
#include <istream>
#include <string>
#include <string_view>

#include "jobs/ZipDirectory.h"

namespace pellux {

// Receives one piece of an item's data; false stops the reading (the sink
// then says why in `error`).
using ZipPieceSink = std::function<bool(std::string_view piece, std::string& error)>;

// Reads one item's data from its local header on: stored data as it is,
// deflated data through zlib's raw inflate, in pieces of at most
// `pieceSize` bytes. The whole data must have the length and CRC-32 that the
// central directory gives, else the result is false ("its data is damaged")
// after the pieces already handed out. `times` takes the times of the local
// header's extended-timestamp field, which may carry more than the central one.
bool ReadZipItemData(std::istream& file, const ZipItemInfo& item, const ZipItemPlace& place,
                     size_t pieceSize, const ZipPieceSink& sink, ZipItemTimes& times,
                     std::string& error);

}  // namespace pellux
