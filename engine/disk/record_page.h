// TQDXSmallRecordPage: the view of one record page (type 10) of a disk table, and the arithmetic
// that sizes record pages and turns record IDs into physical positions.
//
// Every record of a table has the same stored size S (the record layout's StoredRecordSize). A
// record page holds R of them, R = trunc((PageDataSize - 1) / (S + 1/8)): the most slots that
// fit with one bitmap bit each. The data area:
//
//   offset                  size             content
//   0                       ceiling(R / 8)   slot bitmap: bit i mod 8 (0 = least significant) of
//                                            byte i div 8 is set while slot i holds a record
//   ceiling(R / 8) + i * S  S                slot i: a stored record
//
// Bitmap bits at R and above (in the last bitmap byte) belong to no slot and are ignored. The
// page header's OwnerObjectID is the table's TableID. A record ID is (page number, slot); the
// record's physical position is page number * R + slot.
//
// The view borrows the data area of a held page; like every page user, the caller sets the
// page's Dirty flag after changing it. Not safe for concurrent use.
#pragma once

#include <cstdint>
#include <span>

#include "engine/core/index.h"
#include "engine/core/page.h"

namespace qdx {

// Slot numbers are 16-bit.
inline constexpr int32_t kMaxRecordsPerPage = 65536;

// R for a page data size and a stored record size: trunc((pageDataSize - 1) / (recordSize +
// 0.125)), computed in integers as trunc(8 (pageDataSize - 1) / (8 recordSize + 1)), so that it
// is exact for every size. 0 when not one record fits. Requires pageDataSize >= 1, recordSize >= 0.
int32_t RecordsPerPage(int32_t pageDataSize, int32_t recordSize);
constexpr int32_t RecordBitmapSize(int32_t recordsPerPage) {
  return (recordsPerPage + 7) / 8;
}

// page * R + slot, and back. Require R > 0 (and, back, position >= 0).
int64_t RecordPosition(TQDXRecordID id, int32_t recordsPerPage);
TQDXRecordID RecordIDOfPosition(int64_t position, int32_t recordsPerPage);

// Whether a page header (read with any page type) is that of a live record page of the table:
// not freed (PageVersion up to 0x7FFFFFFD), type 10 and owned by `tableID`. Whether the check
// applies at all (not inside a transaction, not in files of an old format) is the caller's
// decision.
bool IsRecordPageOf(std::span<const uint8_t> pageHeader, int32_t tableID);

class TQDXSmallRecordPage {
 public:
  // Fails with 20140 "Invalid number of records on page" when the bitmap and R slots of S bytes
  // do not fit the data area, or when R or S is negative or R exceeds kMaxRecordsPerPage.
  TQDXSmallRecordPage(std::span<uint8_t> data, int32_t recordsPerPage, int32_t recordSize);
  // Requires: the page is held and has a buffer.
  TQDXSmallRecordPage(TQDXPage& page, int32_t recordsPerPage, int32_t recordSize)
      : TQDXSmallRecordPage({page.Data(), static_cast<size_t>(page.DataSize())}, recordsPerPage,
                            recordSize) {}

  int32_t RecordsPerPage() const { return recordsPerPage_; }
  int32_t RecordSize() const { return recordSize_; }
  int32_t SlotOffset(int32_t slot) const { return bitmapSize_ + slot * recordSize_; }

  // ---- The slot bitmap -------------------------------------------------------------------
  // False for a slot outside 0..R-1, so that a stale or damaged record ID reads as no record.
  bool IsUsed(int32_t slot) const;
  // 20310 for a slot outside 0..R-1.
  void SetUsed(int32_t slot, bool used);
  // Occupied slots.
  int32_t RecordCount() const;
  // The lowest free slot; -1 when the page is full.
  int32_t FindFreeSlot() const;
  // The lowest occupied slot at or after `from` / the highest at or before `from`; -1 for none.
  int32_t NextUsedSlot(int32_t from) const;
  int32_t PriorUsedSlot(int32_t from) const;
  // The occupied slot with `n` occupied slots before it; -1 when the page has n or fewer.
  int32_t NthUsedSlot(int32_t n) const;
  // Occupied slots below `slot`.
  int32_t UsedSlotsBefore(int32_t slot) const;

  // ---- Stored records ---------------------------------------------------------------------
  // The S bytes of a slot, whether or not it holds a record. 20310 outside 0..R-1.
  std::span<const uint8_t> Record(int32_t slot) const;
  // Copies a stored record of exactly S bytes (else 20056) into the slot and marks it used.
  void WriteRecord(int32_t slot, std::span<const uint8_t> record);
  // Puts the record into the lowest free slot and answers it; 20141 when the page is full.
  int32_t InsertRecord(std::span<const uint8_t> record);
  // Marks the slot free (its bytes stay); answers whether it held a record.
  bool DeleteRecord(int32_t slot);

 private:
  void CheckSlot(int32_t slot) const;
  // The bitmap byte `index` with the bits beyond the last slot cleared.
  uint8_t BitmapByte(int32_t index) const;

  std::span<uint8_t> data_;
  int32_t recordsPerPage_;
  int32_t recordSize_;
  int32_t bitmapSize_;
};

}  // namespace qdx
