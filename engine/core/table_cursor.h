// TQDXTableCursor: the cursor as the table data sees it.
//
// The table data's operations take a cursor and read and write its position and restrictions:
// the session, the current index, the record and key buffers, the range, the filters, the
// position (record ID, BOF, EOF), the filter bitmap and the index position cache. This class
// holds exactly those members; the engine cursor of the dataset layer derives from it and adds
// everything else (definition copies, BLOB streams, locking, result codes).
//
// Buffers are borrowed: the cursor's owner allocates them (MemoryRecordSize bytes and more) and
// keeps them alive while the table data may use them. A cursor is used by one thread at a time,
// inside its database's critical section.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/core/base_session.h"
#include "engine/core/filter_expression.h"
#include "engine/core/index.h"
#include "engine/core/page_manager.h"
#include "engine/core/record_bitmap.h"

namespace qdx {

// A range on the current index: records whose key lies between the bounds pass. A bound is a
// record-layout buffer compared on its column count (0 = all columns); an exclusive bound
// excludes keys equal to it. The buffers are kept by reference.
struct TQDXCursorRange {
  const uint8_t* LowKey = nullptr;
  const uint8_t* HighKey = nullptr;
  bool LowExclusive = false;
  bool HighExclusive = false;
  int32_t LowColumnCount = 0;
  int32_t HighColumnCount = 0;

  bool IsSet() const { return LowKey != nullptr || HighKey != nullptr; }
};

// The dataset layer's record filter: true when the record buffer passes.
using TQDXFilterCallback = std::function<bool(const uint8_t* record)>;

class TQDXTableCursor {
 public:
  TQDXTableCursor() = default;
  virtual ~TQDXTableCursor() = default;
  TQDXTableCursor(const TQDXTableCursor&) = delete;
  TQDXTableCursor& operator=(const TQDXTableCursor&) = delete;

  // The system session (-2) when the cursor has no session.
  int32_t SessionID() const { return Session != nullptr ? Session->SessionID() : kSystemSessionID; }
  bool InTransaction() const { return Session != nullptr && Session->InTransaction; }
  // Any restriction that makes the cursor see fewer records than the table holds.
  bool IsFiltered() const {
    return FilterExpression != nullptr || SQLFilterExpression != nullptr ||
           static_cast<bool>(FilterCallback) || Range.IsSet() || DistinctColumnCount > 0;
  }
  // What the index operations take of the cursor.
  TQDXIndexCursor IndexCursor() const { return {SessionID(), Buffer, RecordID}; }

  // ---- Identity -------------------------------------------------------------------------------
  TQDXBaseSession* Session = nullptr;
  std::string TableName;
  bool Exclusive = false;
  // A temporary table gets no constraints from its indexes.
  bool Temporary = false;
  // Handed to the table data when it is created.
  bool KeepTemporaryInMemory = false;
  // Changes are committed by the cursor's owner, not after each change.
  bool Batching = false;
  // Handed to the table data when the cursor opens the table (the disk engine opens a table in
  // repair mode for 1).
  uint8_t TableDataFlag = 0;

  // ---- Layout (set by the table data's GetRecordLayout) -----------------------------------------
  int32_t FirstFieldOffset = 0;
  int32_t RecordDataSize = 0;

  // ---- Order and restrictions -------------------------------------------------------------------
  int32_t CurrentIndexID = -1;  // -1: physical order
  uint8_t* KeyBuffer = nullptr;
  int32_t KeyColumnCount = 0;  // columns FindKey compares; 0 = all
  TQDXCursorRange Range;
  int32_t DistinctColumnCount = 0;  // SQL DISTINCT; 0 otherwise
  std::unique_ptr<TQDXFilterExpression> FilterExpression;
  std::unique_ptr<TQDXFilterExpression> SQLFilterExpression;
  TQDXFilterCallback FilterCallback;

  // ---- Position ---------------------------------------------------------------------------------
  uint8_t* Buffer = nullptr;         // the current record buffer
  uint8_t* ScratchBuffer = nullptr;  // for distinct fields
  TQDXRecordID RecordID;
  bool AtBOF = true;
  bool AtEOF = false;
  // The records passing the filters; created by the table data on first need.
  std::unique_ptr<TQDXRecordBitmap> FilterBitmap;
  TQDXIndexPositionCache PositionCache;
};

}  // namespace qdx
