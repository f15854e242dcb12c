// TQDXSmallBlobPage: the view of one shared BLOB page (type 11), which holds the small values of
// one table's BLOB fields side by side.
//
// Data area:
//   offset  size  content
//   0       2     number of entries (uint16)
//   2       ...   the entries back to back, each a 22-byte value header (blob_format.h) whose
//                 data length gives the bytes of the compressed form that follow it
//
// An entry is found by walking from offset 2. Every step is checked against the data area: a
// count or a data length that runs past it fails with 20311 and is never read beyond. A new page
// (all zero) has no entries.
//
// The view borrows the data area of a held page; the caller sets the page's Dirty flag after
// changing it. Not safe for concurrent use.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "engine/core/page.h"
#include "engine/disk/blob_format.h"

namespace qdx {

inline constexpr int32_t kBlobPageEntriesOffset = 2;

// Room an entry of `dataLength` bytes takes in a shared page (and in the BLOB page index).
constexpr int64_t BlobEntrySize(int64_t dataLength) {
  return TQDXBlobValueHeader::kSize + dataLength;
}

// The ID tried after `id` when choosing a new one: after 32767 comes -32768, after -2 comes 0.
int16_t NextBlobID(int16_t id);

class TQDXSmallBlobPage {
 public:
  struct Entry {
    TQDXBlobValueHeader Header;
    std::span<const uint8_t> Data;  // in the page; valid while the page is unchanged
  };

  explicit TQDXSmallBlobPage(std::span<uint8_t> data) : data_(data) {}
  // Requires: the page is held and has a buffer.
  explicit TQDXSmallBlobPage(TQDXPage& page)
      : TQDXSmallBlobPage({page.Data(), static_cast<size_t>(page.DataSize())}) {}

  int32_t DataSize() const { return static_cast<int32_t>(data_.size()); }
  int32_t EntryCount() const;
  // The data offset of entry `index` (0 <= index <= EntryCount; EntryCount gives the end of the
  // entries). 20311 when an entry on the way runs out of the data area.
  int32_t EntryOffset(int32_t index) const;
  int32_t EntriesEnd() const { return EntryOffset(EntryCount()); }
  TQDXBlobValueHeader EntryHeader(int32_t index) const;
  // The index of the entry with the ID; -1 when none has it.
  int32_t FindEntry(int16_t blobID) const;
  // The entry with the ID; none when no entry has it.
  std::optional<Entry> ReadEntry(int16_t blobID) const;

  // The ID a new entry receives: the entry count, or the next value after it that no entry has
  // (after 32767 comes -32768, after -2 comes 0). -1 is never given (reaching it fails with
  // 20172); nor is 255, which readers cannot tell from the old mark of a large value.
  int16_t NewID() const;
  // Appends an entry with a new ID and the given sizes and data, and answers the ID. When the
  // entry does not fit behind the others it fails with 20290, whose message shows
  // `roomInIndex`, the room the BLOB page index records for the page.
  int16_t AddEntry(int32_t uncompressedSize, int64_t storedSize, std::span<const uint8_t> data,
                   int32_t roomInIndex);
  // Removes the entry with the ID, moving the following entries up and zeroing the bytes it
  // leaves at the end; answers the room it took (BlobEntrySize). 20171 when no entry has the ID.
  int32_t RemoveEntry(int16_t blobID);

 private:
  struct Position {
    int32_t Index;
    int32_t Offset;
  };
  // The offset behind the entry at `offset`, checked against the data area.
  int32_t StepOver(int32_t entryNo, int32_t offset) const;
  std::optional<Position> Locate(int16_t blobID) const;
  [[noreturn]] void RaiseDamaged(int32_t entryNo, int64_t offset) const;
  void SetEntryCount(int32_t count);

  std::span<uint8_t> data_;
};

}  // namespace qdx
