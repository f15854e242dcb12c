// What an index needs from, and gives to, the table engine around it: the record ID, the
// navigation request, the cursor's view and position cache, and TQDXIndexRecordSource, the narrow
// interface through which an index reads records by ID (implemented by the table data).
#pragma once

#include <cstdint>
#include <functional>

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

}  // namespace qdx
