// TQDXBaseRecordManager: the storage of one table's records, in physical (record ID) order.
//
// The record manager stores record buffers (converted to the stored layout) under record IDs and
// carries out navigation requests in physical order. It keeps the table's record count and its
// ChangeStamp, the counter every insert, update and delete bumps; cursors compare it with the
// stamps of their filter bitmaps and position caches to learn that the table changed.
//
// ReadRecord contract (request.IndexID is ignored):
//   mode 0: read the record request.RecordID; result 0, or 3 when it does not exist.
//   mode 1: the first record after request.RecordID (the first of all at BOF); at the end result
//           2 with AtEOF set. Next at EOF stays at EOF.
//   mode 2: the mirror image: the last before it (the last of all at EOF); result 1 with AtBOF.
//   On success RecordID is the record reached, AtBOF and AtEOF are clear and, when Buffer is not
//   null, the record is in it (MemoryRecordSize bytes). The current record need not exist any
//   more: physical order is the order of record IDs.
//
// Insert, update and delete report failure by their result, never by raising for a record that
// cannot be stored or found. Not safe for concurrent use: the table data calls it under its
// database's critical section.
#pragma once

#include <cstdint>

#include "engine/core/index.h"

namespace qdx {

class TQDXTableData;

class TQDXBaseRecordManager {
 public:
  explicit TQDXBaseRecordManager(TQDXTableData& table) : table_(&table) {}
  virtual ~TQDXBaseRecordManager() = default;
  TQDXBaseRecordManager(const TQDXBaseRecordManager&) = delete;
  TQDXBaseRecordManager& operator=(const TQDXBaseRecordManager&) = delete;

  // ---- Virtual operations, in slot order -------------------------------------------------------
  // 0: removes every record; RecordCount becomes 0 and ChangeStamp moves on (RecordsEmptied).
  virtual void EmptyRecords(int32_t sessionID) = 0;
  // 1: stores the buffer as a new record and answers its ID; RecordInserted on success.
  virtual bool InsertRecord(int32_t sessionID, const uint8_t* buffer, TQDXRecordID& id) = 0;
  // 2: stores the buffer over the record; RecordUpdated on success.
  virtual bool UpdateRecord(int32_t sessionID, const uint8_t* buffer, TQDXRecordID id) = 0;
  // 3: removes the record; RecordDeleted on success.
  virtual bool DeleteRecord(int32_t sessionID, TQDXRecordID id) = 0;
  // 4: carries out the request in physical order (see the contract above).
  virtual void ReadRecord(int32_t sessionID, TQDXNavigationRequest& request) = 0;
  // 5: -1, 0 or 1 by page number (signed), then slot number (unsigned).
  virtual int CompareRecordIDs(TQDXRecordID a, TQDXRecordID b) const;
  // 6: an estimate for the SQL engine's scan planning; here the record count.
  virtual int64_t GetRecordCountEstimate(int32_t sessionID) const;

  TQDXTableData& Table() const { return *table_; }

  int64_t RecordCount = 0;
  // Never -1, the stamp of a bitmap that was never built.
  int32_t ChangeStamp = 0;
  int32_t MemoryRecordSize = 0;

 protected:
  // The bookkeeping of the operations above, for the concrete managers.
  void RecordInserted() {
    ++RecordCount;
    BumpChangeStamp();
  }
  void RecordUpdated() { BumpChangeStamp(); }
  void RecordDeleted() {
    --RecordCount;
    BumpChangeStamp();
  }
  // The stamp moves on rather than back to 0: another process that saw the table at stamp 0
  // before it was filled would take its stale pages for current.
  void RecordsEmptied() {
    RecordCount = 0;
    BumpChangeStamp();
  }
  // Wraps around without reaching -1.
  void BumpChangeStamp() {
    ChangeStamp = static_cast<int32_t>(static_cast<uint32_t>(ChangeStamp) + 1);
    if (ChangeStamp == -1) ChangeStamp = 0;
  }

 private:
  TQDXTableData* table_;
};

}  // namespace qdx
