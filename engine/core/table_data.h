// TQDXTableData: an open table inside the engine, shared by every cursor that opens it, with its
// four managers (fields, records, indexes, constraints), and the algorithms every engine shares:
// reading records in index or physical order through the cursor's filters and bitmap, locating
// and finding keys, record counts and numbers, and the steps of insert, update and delete.
//
// The virtual operations keep the order of the table data interface (slots 0 to 39). Deferred
// slots (pure virtual) belong to the storage engines: the disk engine derives TQDXDiskTableData,
// tests derive a table held in memory. An engine's InsertRecord, UpdateRecord and DeleteRecord
// run the shared steps (InsertRecordSteps, ...) and fill in their own parts through the
// protected hooks (table header, BLOB values).
//
// Design notes:
//  1. Every operation that reads or changes records runs inside the database's critical section
//     (re-entrant; the cursor usually holds it already).
//  2. A filtered cursor (filter expression, SQL filter, filter callback, range or distinct
//     fields) moves, counts and numbers through its filter bitmap, rebuilt whenever it is stale
//     (the record manager's ChangeStamp moved). A change made through the cursor itself keeps
//     its bitmap current by setting or clearing the one bit.
//  3. The cursor's position is its record ID with BOF and EOF; the current record may have been
//     deleted by another cursor, and next / prior then continue from where it stood.
//  4. Reading a record never allocates: scratch buffers come from a small pool of the table.
//
// Not safe for concurrent use beyond the database's critical section.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/constraint_manager.h"
#include "engine/core/field_manager.h"
#include "engine/core/index.h"
#include "engine/core/index_manager.h"
#include "engine/core/record_manager.h"
#include "engine/core/scan_condition.h"
#include "engine/core/table_cursor.h"
#include "engine/foundation/scope_guard.h"

namespace qdx {

class TQDXDatabaseData;
class TQDXStream;

// A BLOB field's raw value as one table hands it to another (GetBlobData / SetBlobData).
struct TQDXBlobValue {
  std::vector<uint8_t> Data;
  int64_t UncompressedSize = 0;
  int64_t StoredSize = 0;
  int64_t DataLength = 0;
};

class TQDXTableData : public TQDXIndexRecordSource {
 public:
  // The managers are created by the concrete class (field and constraint managers here).
  TQDXTableData(TQDXDatabaseData& database, TQDXPageManager& pageManager, std::string name);
  ~TQDXTableData() override;
  TQDXTableData(const TQDXTableData&) = delete;
  TQDXTableData& operator=(const TQDXTableData&) = delete;

  // ---- Virtual operations, in slot order -------------------------------------------------------
  // 0: creates the record manager for the current field layout.
  virtual void CreateRecordManager() = 0;
  // 1: copies with new object IDs become the field manager's definitions (10424 for a duplicate
  // name), with offsets and reset autoinc counters.
  virtual void SetFieldDefs(const TQDXFieldDefs& defs);
  // 2: copies with new object IDs become the index manager's definitions.
  virtual void SetIndexDefs(const TQDXIndexDefs& defs);
  // 3: copies with new object IDs, owned by this table, resolved and named. 30058 for a type the
  // engine does not know.
  virtual void SetConstraintDefs(const TQDXConstraintDefs& defs);
  // 4: the cursor's FirstFieldOffset and RecordDataSize. 10131 for a table without fields.
  virtual void GetRecordLayout(TQDXTableCursor& cursor);
  // 5, 6: outside a transaction, commits / drops the session's changes of the page manager.
  virtual void ApplyChanges(int32_t sessionID, bool inTransaction);
  virtual void CancelChanges(int32_t sessionID, bool inTransaction);
  // 7: creates the table's storage: 20128 for no fields, then SetFieldDefs, SetIndexDefs,
  // SetConstraintDefs and CreateRecordManager.
  virtual void CreateTable(TQDXTableCursor& cursor, const TQDXFieldDefs& fields,
                           const TQDXConstraintDefs& constraints, const TQDXIndexDefs& indexes) = 0;
  // 8: unless forced, 20017 while a cursor is registered; the engine then drops the storage.
  virtual void DeleteTable(TQDXTableCursor* cursor, bool forced);
  // 9: autoinc counters back to their initial values, every index emptied; the engine then
  // empties BLOB data and records.
  virtual void EmptyTable(TQDXTableCursor& cursor);
  // 10: 10150 while a cursor is registered; else the table takes the name.
  virtual void RenameTable(std::string_view newName, TQDXTableCursor* cursor);
  // 11, 12
  virtual void RegisterCursor(TQDXTableCursor& cursor);
  virtual void UnregisterCursor(TQDXTableCursor& cursor);
  // 13: 30343 when no field has the old name, 30344 when another has the new one; renames the
  // field and the index columns naming it.
  virtual void RenameField(std::string_view oldName, std::string_view newName);
  // 14: builds the index from all records and, unless the index or the cursor's table is
  // temporary, adds the constraint it implies. Answers the new index's ID. The cursor keeps its
  // position.
  virtual int32_t AddIndex(const TQDXIndexDef& definition, TQDXTableCursor& cursor);
  // 15: removes the constraint the index implies (unless temporary) and drops the index in the
  // cursor's session (the system session without a cursor). 20018 for an unknown ID.
  virtual void DeleteIndex(int32_t indexID, TQDXTableCursor* cursor);
  // 16, 17, 18: record positions, the numbers a filter bitmap is indexed by; every position in
  // use is below GetMaxRecordPosition.
  virtual int64_t GetMaxRecordPosition(int32_t sessionID) = 0;
  virtual int64_t RecordIDToPosition(TQDXRecordID id) = 0;
  virtual TQDXRecordID PositionToRecordID(int64_t position) = 0;
  // 19: called before a cursor frees a record buffer; nothing here.
  virtual void FreeRecordBuffer(uint8_t* buffer);
  // 20: reads into the cursor's buffer: mode 0 the current record, 1 the next, 2 the prior in
  // the cursor's order through its filters. Answers 0 ok, 1 BOF, 2 EOF (always for an empty
  // table), 3 failure. 10015 without a record manager, 10016 without a buffer.
  virtual uint8_t GetRecord(TQDXTableCursor& cursor, uint8_t mode);
  // 21: positions the cursor on the first record in its order that meets the expression and its
  // filters; false (position kept) when none does. 10272 without an expression or buffer.
  virtual bool LocateRecord(TQDXTableCursor& cursor, const TQDXFilterExpression* expression);
  // 22: positions the cursor on the first record in index order whose key meets `kind`
  // (TQDXConditionKind) against the key buffer on KeyColumnCount columns and that passes the
  // filters. 20258 without a current index.
  virtual bool FindKey(TQDXTableCursor& cursor, int32_t kind);
  // 23: stores the stream's content as the field's BLOB value of the cursor's buffer.
  virtual void CloseBlob(TQDXTableCursor& cursor, int32_t fieldNo, TQDXStream& stream) = 0;
  // 24: releases the cached value of a BLOB field of the buffer; nothing here.
  virtual void FreeBlobCache(uint8_t* buffer, int32_t fieldNo);
  // 25: FreeBlobCache for every BLOB field.
  virtual void FreeBlobCaches(uint8_t* buffer);
  // 26: a stream over the BLOB field of the cursor's buffer (mode 0 write, 1 read, 2 both).
  virtual std::unique_ptr<TQDXStream> OpenBlob(TQDXTableCursor& cursor, bool readOnly, int32_t mode,
                                               int32_t fieldNo) = 0;
  // 27, 28, 29: raw BLOB values for copying between cursors, and dropping a cached one.
  virtual TQDXBlobValue GetBlobData(TQDXTableCursor& cursor, int32_t fieldNo) = 0;
  virtual void SetBlobData(TQDXTableCursor& cursor, int32_t fieldNo,
                           const TQDXBlobValue& value) = 0;
  virtual void ClearBlobData(TQDXTableCursor& cursor, int32_t fieldNo, uint8_t* buffer) = 0;
  // 30, 31, 32: the record changes; engines run InsertRecordSteps and its kin.
  virtual bool InsertRecord(TQDXTableCursor& cursor) = 0;
  virtual bool DeleteRecord(TQDXTableCursor& cursor) = 0;
  virtual bool UpdateRecord(TQDXTableCursor& cursor) = 0;
  // 33: positions on the record with the 1-based number (clamped to 1..count) in the cursor's
  // order; nothing for no records.
  virtual void SetRecNo(TQDXTableCursor& cursor, int64_t recNo);
  // 34: the 1-based number of the current record in the cursor's order; -1 at BOF, at EOF, for
  // an empty table or a record that no longer exists.
  virtual int64_t GetRecNo(TQDXTableCursor& cursor);
  // 35, 36, 37: SetRecNo, GetRecNo and the record count in physical order, unfiltered.
  virtual void SetPhysicalRecNo(TQDXTableCursor& cursor, int64_t recNo) = 0;
  virtual int64_t GetPhysicalRecNo(TQDXTableCursor& cursor) = 0;
  virtual int64_t GetPhysicalRecordCount(TQDXTableCursor& cursor) = 0;
  // 38: the session's last autoinc value of the field; 0 here.
  virtual int64_t LastAutoincValue(int32_t fieldNo, TQDXBaseSession* session);
  // 39: rebuilds the stale temporary indexes for every registered cursor of the session.
  virtual void AfterRollback(int32_t sessionID);

  // ---- Shared operations ----------------------------------------------------------------------
  // The database's section handed to the caller until LeaveDatabase (the analysis cannot follow a
  // lock held across calls).
  void EnterDatabase() QDX_NO_THREAD_SAFETY_ANALYSIS;
  void LeaveDatabase() QDX_NO_THREAD_SAFETY_ANALYSIS;
  // The filtered record count (the set bits of the fresh filter bitmap), else the physical one.
  int64_t GetRecordCount(TQDXTableCursor& cursor);
  // Range, filter expression, SQL filter and filter callback, in that order, on the record.
  bool PassesFilters(const TQDXTableCursor& cursor, const uint8_t* record);
  bool PassesFilters(const TQDXTableCursor& cursor) { return PassesFilters(cursor, cursor.Buffer); }
  // Whether the record's key on the current index lies inside the cursor's range.
  bool InRange(const TQDXTableCursor& cursor, const uint8_t* record);
  // Refills the cursor's filter bitmap (creating it when missing) and marks it current.
  void RebuildFilterBitmap(TQDXTableCursor& cursor);
  // DeleteIndex of the first index until none is left.
  void DeleteAllIndexes(TQDXTableCursor& cursor);
  // The index manager's look-up and temporary indexes, under the database's lock.
  int32_t GetOrCreateIndexForFields(TQDXTableCursor& cursor,
                                    const std::vector<std::string>& fieldNames,
                                    const std::vector<std::string>& orderTexts,
                                    const std::vector<std::string>& caseTexts, bool* created);

  // TQDXIndexRecordSource
  bool ReadRecordByID(int32_t sessionID, TQDXRecordID id, uint8_t* buffer) override;
  void ForEachRecord(int32_t sessionID, uint8_t* buffer,
                     const std::function<void(TQDXRecordID)>& visit) override;
  int32_t MemoryRecordSize() const override { return fieldManager_->MemoryRecordSize(); }

  // ---- Members ----------------------------------------------------------------------------------
  TQDXDatabaseData& Database() const { return *database_; }
  TQDXPageManager& PageManager() const { return *pageManager_; }
  const std::string& Name() const { return name_; }
  int32_t ObjectID = -1;
  bool KeepTemporaryInMemory = false;
  bool TemporaryDataInMemory = false;
  TQDXBaseFieldManager& FieldManager() const { return *fieldManager_; }
  TQDXBaseConstraintManager& ConstraintManager() const { return *constraintManager_; }
  // 10380 before the concrete class made one.
  TQDXBaseIndexManager& IndexManager() const;
  // 10015 before the concrete class made one.
  TQDXBaseRecordManager& RecordManager() const;
  bool HasRecordManager() const { return recordManager_ != nullptr; }
  const std::vector<TQDXTableCursor*>& Cursors() const { return cursors_; }

 protected:
  void SetFieldManager(std::unique_ptr<TQDXBaseFieldManager> manager);
  void SetRecordManager(std::unique_ptr<TQDXBaseRecordManager> manager);
  void SetIndexManager(std::unique_ptr<TQDXBaseIndexManager> manager);
  void SetConstraintManager(std::unique_ptr<TQDXBaseConstraintManager> manager);

  // The shared bodies of slots 30 to 32, run by the engines' overrides:
  //  insert: store the buffer (its ID becomes the cursor's), set the bitmap bit, insert the keys,
  //    leave BOF/EOF, save the header and, unless batching, apply the changes.
  //  update: take out the old keys, store the buffer, put in the keys (the old ones again when
  //    the store failed), set the bitmap bit, save the header, apply.
  //  delete: find the neighbour (next, else prior, else BOF), take out the keys, remove the
  //    record (its keys come back when that fails), save, apply, clear the bit, and move to the
  //    neighbour.
  // In multi-user mode the stale temporary indexes are rebuilt first. False when the record
  // manager refused.
  bool InsertRecordSteps(TQDXTableCursor& cursor);
  bool UpdateRecordSteps(TQDXTableCursor& cursor);
  bool DeleteRecordSteps(TQDXTableCursor& cursor);

  // The checks and multi-user catching up before a change; the bitmap bit, the header and the
  // commit after it.
  void BeginRecordChange(TQDXTableCursor& cursor, bool refreshHeader);
  void EndRecordChange(TQDXTableCursor& cursor, TQDXRecordID id, bool exists,
                       bool bitmapWasCurrent);
  bool BitmapIsCurrent(const TQDXTableCursor& cursor) const;
  // Undoes the session's changes when a record change outside a transaction and outside a
  // batch fails (raises or answers false) before it is dismissed: they would otherwise go out
  // with the next change's commit (a record without its keys, half a split tree, an insert the
  // caller saw fail).
  using ChangeRollback = ScopeExit<std::function<void()>>;
  ChangeRollback RollbackUnlessDone(const TQDXTableCursor& cursor);

  // Hooks of the steps for the engine's own parts; nothing here.
  virtual void RefreshTableHeader(int32_t sessionID);
  virtual void SaveTableHeader(int32_t sessionID);
  virtual void StoreBlobValues(TQDXTableCursor& cursor);
  virtual void DeleteBlobValues(TQDXTableCursor& cursor);

 private:
  class ScratchRecord;
  friend class ScratchRecord;

  // The cursor's bitmap, created when missing and rebuilt when stale.
  TQDXRecordBitmap& FreshBitmap(TQDXTableCursor& cursor);
  uint8_t GetFilteredRecord(TQDXTableCursor& cursor, uint8_t mode);
  // Visits, in the order of `indexID` (physical order for -1), the records meeting the
  // conditions, read into `record`, until `visit` answers false. Answers whether it stopped.
  bool WalkRecords(int32_t sessionID, int32_t indexID,
                   const TQDXScanSearchConditionArray& conditions, uint8_t* record,
                   const std::function<bool(TQDXRecordID)>& visit);
  // The cursor's range as conditions on its current index.
  TQDXScanSearchConditionArray RangeConditions(const TQDXTableCursor& cursor);
  // Conditions of a filter expression on the first column of the index.
  void AddFieldConditions(TQDXScanSearchConditionArray& conditions, int32_t indexID,
                          const TQDXFilterExpression& expression);
  // Moves the cursor onto the record in `record` (copied into its buffer).
  void PositionOn(TQDXTableCursor& cursor, TQDXRecordID id, const uint8_t* record);
  // The record's 1-based number among the bitmap's records in the index's order.
  int64_t FilteredRecNoInIndex(TQDXTableCursor& cursor, TQDXRecordID id);
  bool FindFirst(TQDXTableCursor& cursor, const TQDXScanSearchConditionArray& conditions,
                 const std::function<bool(TQDXRecordID, const uint8_t*)>& accept);

  TQDXDatabaseData* database_;
  TQDXPageManager* pageManager_;
  std::string name_;
  std::unique_ptr<TQDXBaseFieldManager> fieldManager_;
  std::unique_ptr<TQDXBaseConstraintManager> constraintManager_;
  std::unique_ptr<TQDXBaseIndexManager> indexManager_;
  std::unique_ptr<TQDXBaseRecordManager> recordManager_;
  std::vector<TQDXTableCursor*> cursors_;
  std::vector<std::vector<uint8_t>> scratchPool_;
};

}  // namespace qdx
