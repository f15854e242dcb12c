#include "engine/core/page_index.h"

#include <algorithm>

#include "engine/core/page_handle.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

namespace {

void EncodeKey(uint8_t (&key)[4], int32_t pageNo) {
  le::Store(key, pageNo);
}

}  // namespace

void TQDXBTreePageIndex::DropAll(int32_t sessionID) {
  if (tree_.RootPageNo < 0) Raise(msg::kFreeIndexWithoutRoot);
  tree_.FreePages(sessionID, /*keepRoot=*/false);
}

void TQDXBTreePageIndex::EmptyAll(int32_t sessionID) {
  if (tree_.RootPageNo < 0) Raise(msg::kClearIndexWithoutRoot);
  tree_.FreePages(sessionID, /*keepRoot=*/true);
}

bool TQDXBTreePageIndex::FindPage(int32_t sessionID, int32_t pageNo, TQDXKeyPath& path) {
  uint8_t key[4];
  EncodeKey(key, pageNo);
  return tree_.FindEntry(sessionID, key, nullptr, path);
}

uint16_t TQDXBTreePageIndex::GetValue(int32_t sessionID, const TQDXKeyPath& path) {
  uint8_t value[2];
  tree_.ReadEntry(sessionID, path, nullptr, value);
  return le::Load<uint16_t>(value);
}

void TQDXBTreePageIndex::SetValue(int32_t sessionID, const TQDXKeyPath& path, uint16_t value) {
  uint8_t bytes[2];
  le::Store(bytes, value);
  tree_.WriteRef(sessionID, path, bytes);
}

int32_t TQDXBTreePageIndex::PageAt(int32_t sessionID, const TQDXKeyPath& path) {
  uint8_t key[4];
  tree_.ReadEntry(sessionID, path, key, nullptr);
  return le::Load<int32_t>(key);
}

int32_t TQDXBTreePageIndex::RoomInLeaf(int32_t sessionID, TQDXKeyPath& path, bool forward,
                                       int32_t needed) {
  // The leaf is fetched once for all its entries: an append scans a whole full leaf each time
  // the last page fills, and a fetch per entry made that a good part of a bulk insert.
  TQDXPageHandle page = tree_.GetIndexPage(sessionID, path.Leaf().PageNo);
  const TQDXBTreePage view = tree_.View(page);
  if (!view.IsLeaf()) Raise(msg::kIndexPositionInvalid);
  const int32_t count = view.EntryCount();
  const int32_t limit = RoomLimit(needed);
  const uint8_t* firstRef = view.Ref(0);
  const ptrdiff_t stride = view.EntrySize();
  for (int32_t i = path.Leaf().EntryNo; i >= 0 && i < count; i += forward ? 1 : -1) {
    if (le::Load<uint16_t>(firstRef + i * stride) < limit) {
      path.Levels[path.LevelCount - 1].EntryNo = i;
      return le::Load<int32_t>(view.Key(i));
    }
  }
  return -1;
}

int32_t TQDXBTreePageIndex::FindPageWithRoom(int32_t sessionID, int32_t needed,
                                             TQDXKeyPath* found) {
  TQDXKeyPath local;
  TQDXKeyPath& path = found != nullptr ? *found : local;
  if (!tree_.GoLast(sessionID, path)) return -1;
  if (const int32_t pageNo = RoomInLeaf(sessionID, path, /*forward=*/false, needed); pageNo >= 0) {
    return pageNo;
  }
  // Before the first leaf's entries, only when the last leaf does not hold them all.
  path.Levels[path.LevelCount - 1].EntryNo = 0;
  if (!tree_.Prior(sessionID, path)) return -1;
  tree_.GoFirst(sessionID, path);
  return RoomInLeaf(sessionID, path, /*forward=*/true, needed);
}

void TQDXBTreePageIndex::AddToPage(int32_t sessionID, int32_t pageNo, int32_t amount,
                                   const TQDXKeyPath* at) {
  TQDXKeyPath path;
  if (at != nullptr && at->LevelCount > 0 && PageAt(sessionID, *at) == pageNo) {
    path = *at;
  } else if (!FindPage(sessionID, pageNo, path)) {
    uint8_t key[4], value[2];
    EncodeKey(key, pageNo);
    le::Store(value, static_cast<uint16_t>(std::clamp(amount, 0, 0xFFFF)));
    tree_.InsertEntry(sessionID, key, value);
    return;
  }
  const int32_t value = GetValue(sessionID, path);
  if (!HasRoom(value, amount) || value + amount > 0xFFFF) {
    Raise(msg::kDataItemPageFull);
  }
  SetValue(sessionID, path, static_cast<uint16_t>(value + amount));
}

void TQDXBTreePageIndex::RemoveFromPage(int32_t sessionID, int32_t pageNo, int32_t newValue,
                                        int32_t amount) {
  TQDXKeyPath path;
  if (!FindPage(sessionID, pageNo, path)) Raise(msg::kPageNotInPageIndex);
  const int32_t value = GetValue(sessionID, path);
  if (value == 0) Raise(msg::kPageIndexValueZero);
  // A larger amount than the value empties the page instead of wrapping round.
  const int32_t result = newValue >= 0 ? std::min(newValue, 0xFFFF) : std::max(value - amount, 0);
  if (result > 0) {
    SetValue(sessionID, path, static_cast<uint16_t>(result));
    return;
  }
  uint8_t key[4];
  EncodeKey(key, pageNo);
  tree_.DeleteEntry(sessionID, key, nullptr);
}

int32_t TQDXBTreePageIndex::PageOfPosition(int32_t sessionID, int64_t position, int32_t& offset) {
  TQDXKeyPath path;
  if (position >= 0 && tree_.GoFirst(sessionID, path)) {
    int64_t sum = 0;
    TQDXLeafWalkGuard guard;
    do {
      guard.Visit(path);
      const int32_t value = GetValue(sessionID, path);
      if (position < sum + value) {
        offset = static_cast<int32_t>(position - sum);
        return PageAt(sessionID, path);
      }
      sum += value;
    } while (tree_.Next(sessionID, path));
  }
  Raise(msg::kPageIndexRecNoBeyondCount);
}

}  // namespace qdx
