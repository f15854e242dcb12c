// TQDXCompressedStreamBlockHeadersArray: the loaded block headers of a compressed stream, one
// entry per block with the position of its header in the underlying stream.
//
// Not safe for concurrent use; it belongs to one compressed stream.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/foundation/compression/compression.h"

namespace qdx {

struct TQDXCompressedBlockEntry {
  TQDXCompressedBlockHeader Header;
  int64_t Position = 0;  // of the header's first byte in the underlying stream
};

class TQDXCompressedStreamBlockHeadersArray {
 public:
  int64_t Count() const { return static_cast<int64_t>(entries_.size()); }
  // Keeps the first entries; added entries are empty headers at position 0.
  void SetCount(int64_t count) { entries_.resize(static_cast<size_t>(count)); }
  void Add(const TQDXCompressedBlockHeader& header, int64_t position) {
    entries_.push_back({header, position});
  }
  void Reserve(int64_t count) { entries_.reserve(static_cast<size_t>(count)); }

  // Requires: 0 <= index < Count().
  TQDXCompressedBlockEntry& operator[](int64_t index) {
    return entries_[static_cast<size_t>(index)];
  }
  const TQDXCompressedBlockEntry& operator[](int64_t index) const {
    return entries_[static_cast<size_t>(index)];
  }

  // The index of the entry whose header lies at `position`, or -1. Entries are in ascending
  // position order, as blocks follow each other in the underlying stream.
  int64_t FindByPosition(int64_t position) const;

 private:
  std::vector<TQDXCompressedBlockEntry> entries_;
};

}  // namespace qdx
