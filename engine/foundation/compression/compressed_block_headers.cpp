#include "engine/foundation/compression/compressed_block_headers.h"

#include <algorithm>

namespace qdx {

int64_t TQDXCompressedStreamBlockHeadersArray::FindByPosition(int64_t position) const {
  const auto it =
      std::ranges::lower_bound(entries_, position, {}, &TQDXCompressedBlockEntry::Position);
  if (it == entries_.end() || it->Position != position) return -1;
  return it - entries_.begin();
}

}  // namespace qdx
