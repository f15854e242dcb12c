// TQDXBaseFieldManager: the field definitions of one table, its record layout, its defaults and
// its autoinc counters.
//
// The manager owns the table's field definitions with their offsets, converts records between
// the buffer and stored layouts (record_layout.h), fills new records with defaults and hands out
// autoinc values. Each field has one int64 counter (0 for fields that are not autoinc); the
// counters are kept in the table header (SaveAutoincState / LoadAutoincState):
//
//   offset  size  content
//   0       4     counter count N (int32)
//   4       8N    the counters (int64), in field order
//
// Every autoinc value handed to a session is recorded in it as a
// TQDXSessionNamedObjectSequenceValue under the field's ObjectID, for LastAutoincValue.
//
// Not safe for concurrent use: the table data calls it under its database's lock.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/core/base_session.h"
#include "engine/core/field_def.h"
#include "engine/foundation/stream.h"

namespace qdx {

class TQDXTableData;

class TQDXBaseFieldManager {
 public:
  explicit TQDXBaseFieldManager(TQDXTableData* table = nullptr)
      : table_(table), fieldDefs_(std::make_unique<TQDXFieldDefs>()) {}
  virtual ~TQDXBaseFieldManager() = default;
  TQDXBaseFieldManager(const TQDXBaseFieldManager&) = delete;
  TQDXBaseFieldManager& operator=(const TQDXBaseFieldManager&) = delete;

  TQDXTableData* Table() const { return table_; }
  // Open for renaming a field; the sizes and types are set through SetDefinitions or
  // LoadDefinitions only, which is what lets the record layout below be computed once.
  TQDXFieldDefs& FieldDefs() const { return *fieldDefs_; }

  // ---- Virtual operations, in slot order -------------------------------------------------------
  // 0: advances the field's counter by AutoincIncrement (0 counts as 1) and answers it. Past a
  // non-zero AutoincMaxValue the counter wraps to AutoincMinValue when AutoincCycled, else the
  // call fails with 20160 and the counter stays beyond the limit (so later calls fail too). A
  // step that would pass the int64 range counts as passing the limit, and then a failed call
  // leaves the counter as it was. 30402 / 30403 for a field number outside the fields / the
  // counters.
  virtual int64_t NextAutoincValue(int32_t fieldNo);
  // 1: writes the default of every field that has one (not BLOBs) into a new record buffer and
  // clears its null bit. A default longer than its slot is cut to the slot (text keeps its
  // terminator); definitions given through SetDefinitions never hold one.
  virtual void ApplyDefaults(TQDXBaseSession* session, uint8_t* buffer);
  // 2: before an insert, for each autoinc field in order: a NULL one receives
  // GenerateAutoincValue (the low MemorySize bytes); a value above the counter (read with zero
  // high bytes) becomes the counter and the session's last value.
  virtual void AssignAutoincValues(TQDXBaseSession* session, uint8_t* buffer);
  // 3: NextAutoincValue, recorded for the session (none: not recorded).
  virtual int64_t GenerateAutoincValue(TQDXBaseSession* session, int32_t fieldNo);
  // 4: the value last recorded for the session; without one a multi-user session fails with
  // 30012, any other gets the field's counter (0 for a field that is not autoinc).
  virtual int64_t LastAutoincValue(TQDXBaseSession* session, int32_t fieldNo);

  // ---- Definitions ----------------------------------------------------------------------------
  // The definitions given to the table: a copy of `defs` (10424 for a duplicate name), whose
  // defaults must fit their slots (20056 otherwise; nothing changes then), then offsets and
  // counters.
  void SetDefinitions(const TQDXFieldDefs& defs);
  // Reads the field collection, CalculateOffsets, ResetAutoincCounters.
  void LoadDefinitions(TStream& stream);
  void SaveDefinitions(TStream& stream) const;

  // ---- Autoinc state --------------------------------------------------------------------------
  // Reads the count and the counters at `position` and advances it by 4 + 8N. Bytes that end
  // early, or a negative count, fail with 20056 and leave the counters as they were.
  void LoadAutoincState(std::span<const uint8_t> bytes, int32_t& position);
  void SaveAutoincState(std::span<uint8_t> bytes, int32_t& position) const;
  int32_t AutoincStateSize() const { return 4 + 8 * static_cast<int32_t>(counters_.size()); }
  // AutoincInitialValue for each autoinc field, 0 for the others.
  void ResetAutoincCounters();
  const std::vector<int64_t>& AutoincCounters() const { return counters_; }

  // ---- Record layout (record_layout.h) --------------------------------------------------------
  // Computed once with the offsets: every record read and written asks for them.
  int32_t MemoryRecordSize() const { return layout_.memoryRecordSize; }
  int32_t StoredRecordSize() const { return layout_.storedRecordSize; }
  // Without a BLOB field the stored record is the buffer byte for byte, and is copied whole.
  void StoredToMemory(const uint8_t* stored, uint8_t* buffer) const;
  void MemoryToStored(const uint8_t* buffer, uint8_t* stored) const;
  bool RecordsEqual(const uint8_t* a, const uint8_t* b) const;
  // True when a field is a BLOB; the first BLOB field with BlobBlockSize 0 fails with 10421.
  bool HasBlobFields() const;

 private:
  const TQDXFieldDef& CheckedAutoincField(int32_t fieldNo) const;
  void RecordLastValue(TQDXBaseSession* session, const TQDXFieldDef& field, int64_t value);

  // Takes the definitions, whose offsets are computed, and caches their record layout.
  void AdoptDefinitions(std::unique_ptr<TQDXFieldDefs> defs);

  struct RecordLayout {
    int32_t memoryRecordSize = 0;
    int32_t storedRecordSize = 0;
    bool storedIsMemory = true;
  };

  TQDXTableData* table_;
  std::unique_ptr<TQDXFieldDefs> fieldDefs_;
  RecordLayout layout_;
  std::vector<int64_t> counters_;
};

}  // namespace qdx
