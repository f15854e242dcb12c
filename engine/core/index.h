// TQDXIndex, the base of every index with its 27 operations in slot order, and what an index
// needs from, and gives to, the table engine around it: the record ID, the navigation request,
// the cursor's view and position cache, search conditions and scan states, and the narrow
// interfaces through which an index reads records (TQDXIndexRecordSource, implemented by the
// table data) and reaches its index manager (TQDXIndexOwner).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "engine/core/btree.h"
#include "engine/foundation/little_endian.h"

namespace qdx {

// A record ID: record page number and slot, compared page first (signed), then slot.
struct TQDXRecordID {
  int32_t PageNo = -1;
  uint16_t SlotNo = 0;

  static constexpr int32_t kSize = 6;
  void Store(uint8_t* bytes) const {
    le::Store(bytes, PageNo);
    le::Store(bytes + 4, SlotNo);
  }
  static TQDXRecordID Load(const uint8_t* bytes) {
    return {le::Load<int32_t>(bytes), le::Load<uint16_t>(bytes + 4)};
  }
  friend bool operator==(const TQDXRecordID&, const TQDXRecordID&) = default;
};

// Navigation request modes and results.
enum TQDXGetRecordMode : uint8_t { grmCurrent = 0, grmNext = 1, grmPrior = 2 };
enum TQDXGetRecordResult : uint8_t {
  grOK = 0,
  grBOF = 1,
  grEOF = 2,
  grError = 3,
};

// The request handed to ReadRecord and to index navigation.
struct TQDXNavigationRequest {
  uint8_t Mode = grmCurrent;
  int32_t IndexID = -1;
  TQDXRecordID RecordID;      // in: the current record; out: the record reached
  uint8_t* Buffer = nullptr;  // receives the record; holds the current record's values on entry
  bool AtBOF = false;
  bool AtEOF = false;
  uint8_t Result = grOK;
};

// One cursor's last index position; valid while the table's ChangeStamp is unchanged.
struct TQDXIndexPositionCache {
  TQDXKeyPath Path;
  int32_t IndexID = -1;
  TQDXRecordID RecordID;
  int32_t ChangeStamp = -1;
};

// What the index operations need of a cursor.
struct TQDXIndexCursor {
  int32_t SessionID = 0;
  uint8_t* Buffer = nullptr;  // the record buffer
  TQDXRecordID RecordID;      // the current record
};

// Record access for indexes: reading a record by ID (full keys of truncated columns, FindRecord,
// navigation) and visiting all records (building an index).
class TQDXIndexRecordSource {
 public:
  virtual ~TQDXIndexRecordSource() = default;
  // Reads the record into `buffer` (MemoryRecordSize bytes); false when it does not exist.
  virtual bool ReadRecordByID(int32_t sessionID, TQDXRecordID id, uint8_t* buffer) = 0;
  // Calls `visit` for every record in physical order, with the record in `buffer`.
  virtual void ForEachRecord(int32_t sessionID, uint8_t* buffer,
                             const std::function<void(TQDXRecordID)>& visit) = 0;
  virtual int32_t MemoryRecordSize() const = 0;
};

class TQDXFieldDefs;
class TQDXIndexDef;

// What an index needs of its index manager, which implements it.
class TQDXIndexOwner {
 public:
  virtual ~TQDXIndexOwner() = default;
  // The pages of a temporary index live in the temporary page manager, all others in the
  // table's.
  virtual TQDXPageManager& IndexPageManager(bool temporary) = 0;
  virtual const TQDXFieldDefs& IndexFieldDefs() const = 0;
  virtual TQDXIndexRecordSource& IndexRecords() = 0;
};

// A search condition on an index: the key values are taken from a record buffer, over the first
// ColumnCount columns (0 = all).
struct TQDXIndexCondition {
  int32_t Kind = 0;  // TQDXConditionKind; 0 = no condition
  const uint8_t* Record = nullptr;
  int32_t ColumnCount = 0;
};

// The record set an index thins out for DISTINCT (a cursor's record bitmap).
class TQDXIndexRecordSet {
 public:
  virtual ~TQDXIndexRecordSet() = default;
  virtual bool Contains(TQDXRecordID id) = 0;
  virtual void Remove(TQDXRecordID id) = 0;
};

// The state of one ScanNext walk.
struct TQDXIndexScanState {
  bool Started = false;
  bool Forward = true;
  bool Empty = false;
  TQDXKeyPath Current;
  TQDXKeyPath End;
  TQDXIndexCondition Start;  // the range, as given to NewScanState
  TQDXIndexCondition Stop;
  bool HasResume = false;
  TQDXRecordID Resume;
};

// The base index. The operations are the slots 0..26 in order; none has base behaviour. The base
// holds the index manager and an owned copy of the index definition, which Create and Open
// replace. Not safe for concurrent use: callers hold the database's critical section.
class TQDXIndex {
 public:
  explicit TQDXIndex(TQDXIndexOwner& owner);
  virtual ~TQDXIndex();
  TQDXIndex(const TQDXIndex&) = delete;
  TQDXIndex& operator=(const TQDXIndex&) = delete;

  // 0: an empty index for `definition` (its RootPageNo is set), then the key of every record
  // when a cursor is given.
  virtual void Create(const TQDXIndexCursor* cursor, TQDXIndexDef& definition) = 0;
  // 1: frees all pages.
  virtual void Drop(int32_t sessionID) = 0;
  // 2: removes all keys.
  virtual void Empty(int32_t sessionID) = 0;
  // 3: adopts an existing index.
  virtual void Open(const TQDXIndexDef& definition) = 0;
  // 4: empties the index and inserts all keys again.
  virtual void Rebuild(const TQDXIndexCursor& cursor) = 0;
  // 5, 6: next or prior in key order; the second when the current record no longer exists.
  virtual void Navigate(int32_t sessionID, TQDXNavigationRequest& request, int32_t changeStamp,
                        TQDXIndexPositionCache& cache) = 0;
  virtual void NavigateFromDeleted(int32_t sessionID, TQDXNavigationRequest& request,
                                   int32_t changeStamp, TQDXIndexPositionCache& cache) = 0;
  // 7, 8
  virtual std::unique_ptr<TQDXKeyPath> NewKeyPath() = 0;
  virtual void FreeKeyPath(std::unique_ptr<TQDXKeyPath> path) = 0;
  // 9: the path of the record's entry; false when missing. `scratch` receives the record.
  virtual bool FindRecord(int32_t sessionID, TQDXRecordID id, TQDXKeyPath& path,
                          uint8_t* scratch) = 0;
  // 10: -1, 0 or 1 by the entry indexes from the root level down.
  virtual int CompareKeyPaths(const TQDXKeyPath& a, const TQDXKeyPath& b) = 0;
  // 11: 1-based number in index order, -1 when not in the index.
  virtual int64_t GetRecNo(int32_t sessionID, TQDXRecordID id, uint8_t* scratch) = 0;
  // 12
  virtual void GetRecordIDByRecNo(int32_t sessionID, TQDXRecordID& id, int64_t recNo) = 0;
  // 13: keeps, of the records of `records` with equal keys on `keyColumnCount` columns, the
  // first in index order.
  virtual void RemoveDuplicates(int32_t sessionID, TQDXIndexRecordSet& records,
                                int32_t keyColumnCount) = 0;
  // 14, 15, 16: walks the entries between two conditions, one record per call.
  virtual std::unique_ptr<TQDXIndexScanState> NewScanState(const TQDXIndexCondition& start,
                                                           const TQDXIndexCondition& stop,
                                                           bool forward,
                                                           const TQDXRecordID* resume) = 0;
  virtual void FreeScanState(std::unique_ptr<TQDXIndexScanState> state) = 0;
  virtual bool ScanNext(int32_t sessionID, TQDXIndexScanState& state, TQDXRecordID& id) = 0;
  // 17
  virtual int CompareRecords(const uint8_t* a, const uint8_t* b, int32_t columnCount) = 0;
  // 18: -1 for > and >=, 1 for < and <=, 0 for =.
  virtual int32_t ConditionDirection(int32_t kind) = 0;
  // 19: an estimate of the records between the conditions.
  virtual int64_t EstimateRecordCount(int32_t sessionID, const TQDXIndexCondition& a,
                                      const TQDXIndexCondition& b) = 0;
  // 20, 21
  virtual bool IsKeyFree(int32_t sessionID, const uint8_t* record) = 0;
  virtual bool IsKeyFreeForUpdate(int32_t sessionID, const uint8_t* oldRecord,
                                  const uint8_t* newRecord) = 0;
  // 22, 23, 24
  virtual void InsertKey(const TQDXIndexCursor& cursor) = 0;
  virtual void DeleteKey(const TQDXIndexCursor& cursor) = 0;
  virtual void UpdateKey(const TQDXIndexCursor& cursor, bool removing) = 0;
  // 25: PageDataSize div (K + 4), and the remainder.
  virtual int32_t GetKeysPerPage(int32_t* remainder) = 0;
  // 26
  virtual void GetRecordIDAtPath(int32_t sessionID, const TQDXKeyPath& path, TQDXRecordID& id) = 0;

  TQDXIndexOwner& Owner() const { return *owner_; }
  // Requires: Create or Open was called.
  const TQDXIndexDef& Definition() const { return *definition_; }
  bool HasDefinition() const { return definition_ != nullptr; }

 protected:
  // Replaces the owned copy of the definition.
  void SetDefinition(const TQDXIndexDef& definition);

 private:
  TQDXIndexOwner* owner_;
  std::unique_ptr<TQDXIndexDef> definition_;
};

}  // namespace qdx
