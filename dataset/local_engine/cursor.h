// TQDXCursor: the engine cursor through which a table dataset reaches one table.
//
// The cursor opens a table through its session, keeps copies of the table's definitions, a
// current position, the current record buffer and the buffer layout, and turns each dataset
// request into calls on the table data. This class holds the members, the buffer layout and the
// operations every engine shares (field access on the current buffer, buffers, positions,
// ranges); the operations in slot order are virtual and the local engine's TQDXLocalCursor
// implements them. It derives from the table data's view of a cursor (TQDXTableCursor), so the
// table data reads and moves its position and restrictions directly.
//
// Record buffer layout (every buffer the cursor allocates):
//
//   offset                  size   content
//   0                       D      the record data: null bitmap, then the fields (D =
//                                  MemoryRecordSize, record_layout.h)
//   D                       6      the bookmark: the record ID (int32 page, uint16 slot)
//   D + 6                   1      the position flag (RecordPositionFlag)
//   D + 7                   ...    the dataset layer's calculated area (RecordBufferSize grows
//                                  by what the dataset needs)
//
// Key buffers: the record data, then 6 bytes of the dataset layer's (a modified byte, an
// exclusive byte and an int32 count of the index fields the key uses, 0 = all).
//
// A cursor is used by one thread at a time; its table operations run inside the database's
// critical section (Lock / Unlock).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/constraint_def.h"
#include "engine/core/field_def.h"
#include "engine/core/table_cursor.h"
#include "engine/core/table_index_def.h"
#include "engine/disk/table_locks_file.h"
#include "engine/foundation/types/variant.h"

namespace qdx {

class TQDXLocalBLOBStream;

// The position flag behind a record buffer's bookmark.
enum class RecordPositionFlag : uint8_t {
  Current = 0,   // a record read from the table
  BeforeFirst = 1,
  AfterLast = 2,
  Inserted = 3,  // a new record, or one just inserted
};

// The outcome of EditRecord, PostRecord, CancelRecord and DeleteRecord (ResultCode). On every
// failure the cursor's current buffer holds what it held before the call.
enum CursorResult : int32_t {
  crOK = 0,
  crInsertFailed = -1,         // the table data did not insert the record
  crUpdateFailed = -2,         // the table data did not update the record
  crDeleteFailed = -3,         // the table data did not delete the record
  crRecordChanged = -4,        // edit or update: another session changed the stored record
  crDeleteRecordChanged = -5,  // delete: the stored record differs from the buffer
  crRecordMissing = -6,        // edit or update: the record no longer exists
  crDeleteRecordMissing = -7,  // delete: the record no longer exists
  crCheckFailed = -8,          // an exception in the checks before a post; ResultMessage says
  crTemporaryEdit = -9,        // editing a record of a temporary-engine table
  crTemporaryDelete = -10,     // deleting a record of a temporary-engine table
  crRecordLocked = -12,        // the record lock could not be taken
  crTableLocked = -13,         // the table lock could not be taken
};

// The cursor's position, as SavePosition takes it.
struct CursorPosition {
  bool AtBOF = true;
  bool AtEOF = false;
  TQDXRecordID RecordID;
};

// OpenBlob modes.
enum BlobMode : int32_t { bmWrite = 0, bmRead = 1, bmReadWrite = 2 };

// A record buffer allocated by the cursor (AllocRecordBuffer, AllocKeyBuffer).
using RecordBuffer = std::unique_ptr<uint8_t[]>;

class TQDXCursor : public TQDXTableCursor {
 public:
  static constexpr int32_t kBookmarkSize = TQDXRecordID::kSize;
  // Bookmark and flag behind the record data.
  static constexpr int32_t kRecordTrailerSize = kBookmarkSize + 1;
  // The dataset layer's bytes behind a key buffer's record data.
  static constexpr int32_t kKeyTrailerSize = 6;

  TQDXCursor();
  ~TQDXCursor() override;

  // ---- Operations, in slot order --------------------------------------------------------------
  // 0 to 3: table maintenance; each leaves the cursor closed.
  virtual void CreateTable(const TQDXFieldDefs& fields, const TQDXIndexDefs& indexes,
                           const TQDXConstraintDefs& constraints) = 0;
  virtual void DeleteTable() = 0;
  virtual void EmptyTable() = 0;
  virtual void RenameTable(std::string_view newName) = 0;
  // 4: copies the table's definitions and computes the buffer layout.
  virtual void InitFieldDefs() = 0;
  // 5, 6
  virtual void OpenTable() = 0;
  virtual void CloseTable() = 0;
  // 7, 8: the database's critical section.
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
  // 9, 10: a table lock of a shared disk table (true at once elsewhere). `editFlag` is the
  // lock's exemption flag; the unlock's `onlyIfHeld` answers true for a lock not held.
  virtual bool LockTable(TQDXTableLockKind kind, int32_t tries, bool editFlag,
                         uint32_t pauseMs) = 0;
  virtual bool UnlockTable(TQDXTableLockKind kind, bool onlyIfHeld) = 0;
  // 11 to 15: field and index maintenance.
  virtual void RenameField(std::string_view oldName, std::string_view newName) = 0;
  virtual const TQDXIndexDefs& GetIndexDefs() = 0;
  virtual void AddIndex(const TQDXIndexDef& definition) = 0;
  virtual void DeleteIndex(std::string_view name) = 0;
  virtual void DeleteAllIndexes() = 0;
  // 16, 17: the index for visible field names, made when missing / whether one exists.
  virtual int32_t GetIndexForFields(const std::vector<std::string>& fieldNames,
                                    const std::vector<std::string>& orderTexts,
                                    const std::vector<std::string>& caseTexts) = 0;
  virtual bool IndexExistsForFields(const std::vector<std::string>& fieldNames,
                                    const std::vector<std::string>& orderTexts,
                                    const std::vector<std::string>& caseTexts) = 0;
  // 18: copies a field of the current buffer into the target cursor's current buffer.
  virtual void CopyFieldValue(int32_t fieldNo, bool useTableDefs, TQDXCursor& target,
                              int32_t targetFieldNo) = 0;
  // 19: a new record: every field NULL and zero; with `applyDefaults` (not for a temporary
  // table) the fields' default values.
  virtual void InitRecord(uint8_t* buffer, bool applyDefaults) = 0;
  // 20: the table data's hook, then the memory is freed.
  virtual void FreeRecordBuffer(RecordBuffer& buffer) = 0;
  // 21 to 27: counting and moving.
  virtual int64_t GetRecordCount() = 0;
  // TQDXGetRecordResult: 0 ok, 1 BOF, 2 EOF, 3 failure.
  virtual uint8_t GetRecord(TQDXGetRecordMode mode) = 0;
  virtual void SetRecNo(int64_t recNo) = 0;
  virtual int64_t GetRecNo() = 0;
  // -1, 0 or 1: in the current index's order, record ID breaking ties; physical order without.
  virtual int32_t CompareBookmarks(const uint8_t* a, const uint8_t* b) = 0;
  virtual void First() = 0;
  virtual void Last() = 0;
  // 28 to 32: the record changes; each leaves ResultCode (CursorResult).
  virtual void InsertRecord() = 0;
  virtual void EditRecord() = 0;
  virtual void CancelRecord(bool wasInsert) = 0;
  virtual void PostRecord(bool isInsert) = 0;
  virtual void DeleteRecord() = 0;
  // 33: whether another session holds the record lock of the current buffer's record.
  virtual bool IsRecordLocked() = 0;
  // 34: SQL DISTINCT support.
  virtual void SetDistinctFields(const std::vector<std::string>& fieldNames,
                                 const std::vector<std::string>& orderTexts,
                                 const std::vector<std::string>& caseTexts) = 0;
  // 35, 36: the dataset's filter text; a bad text raises and keeps the old filter.
  virtual void SetFilter(std::string_view text, bool caseInsensitive, bool partialCompare) = 0;
  virtual void ClearFilter() = 0;
  // 37: positions on the first record (current order, filters) whose fields named in
  // `keyFields` (separated by ";") equal `values` (one per name). Answers found; the position
  // is kept when nothing is found.
  virtual bool Locate(std::string_view keyFields, std::span<const TQDXVariant> values,
                      bool caseInsensitive, bool partial) = 0;
  // 38: the key buffer search of the table data (TQDXConditionKind).
  virtual bool FindKey(int32_t kind) = 0;
  // 39: Locate on one field by name.
  virtual bool LocateValue(std::string_view fieldName, const TQDXVariant& value,
                           bool caseInsensitive, bool partial) = 0;
  // 40, 41: BLOB streams over a visible field of the current buffer. OpenBlob answers null when
  // the value could not be read; the cursor owns the stream until CloseBlob or FreeBlobs.
  virtual TQDXLocalBLOBStream* OpenBlob(bool inInsert, bool inEdit, bool inBrowse,
                                        BlobMode mode, int32_t fieldNo) = 0;
  virtual void CloseBlob(int32_t fieldNo) = 0;
  // 42: frees the open streams (with `writableOnly`, those of modes 0 and 2).
  virtual void FreeBlobs(bool writableOnly) = 0;
  // 43: the session's last autoinc value of a table field.
  virtual int64_t LastAutoincValue(int32_t fieldNo) = 0;
  // 44 to 46: implicit change batching outside transactions.
  virtual void BeginImplicitChange() = 0;
  virtual void CommitImplicitChange() = 0;
  virtual void RollbackImplicitChange() = 0;
  // 47: whether the current buffer meets every constraint (nothing raised).
  virtual bool CheckConstraints(bool inserting) = 0;

  // ---- Shared operations ----------------------------------------------------------------------
  // The current index by name: its ID, or -1 (physical order) when the copy holds no such index.
  void SetCurrentIndexName(std::string_view name);
  // Field access on the current buffer by visible field number (record_layout.h).
  bool GetFieldData(int32_t fieldNo, void* destination) const;
  void SetFieldData(int32_t fieldNo, const void* source);
  void GetFieldValue(int32_t fieldNo, TQDXVariant& value) const;
  void SetFieldValue(int32_t fieldNo, const TQDXVariant& value);
  void ClearStringTails(uint8_t* buffer) const;
  // A zeroed buffer of RecordBufferSize / KeyBufferSize bytes.
  RecordBuffer AllocRecordBuffer() const;
  RecordBuffer AllocKeyBuffer() const;
  // Zeroes a key buffer, then InitRecord without defaults.
  void InitKeyBuffer(uint8_t* buffer);
  CursorPosition SavePosition() const { return {AtBOF, AtEOF, RecordID}; }
  void RestorePosition(const CursorPosition& position);
  // The filter bitmap must be rebuilt before it is used again.
  void InvalidateFilter();
  // A range on the current index; the buffers are kept by reference and must outlive it.
  void SetRange(const uint8_t* lowKey, const uint8_t* highKey, bool lowExclusive,
                bool highExclusive, int32_t lowColumnCount, int32_t highColumnCount);
  void ClearRange();
  // SQL: the visible fields become the named table fields, in order. 10322 without names,
  // 10323 for an unknown one.
  void SetProjection(const std::vector<std::string>& fieldNames);

  // The record ID in a buffer's bookmark, and the position flag.
  TQDXRecordID Bookmark(const uint8_t* buffer) const;
  void SetBookmark(uint8_t* buffer, TQDXRecordID id) const;
  RecordPositionFlag RecordFlag(const uint8_t* buffer) const;
  void SetRecordFlag(uint8_t* buffer, RecordPositionFlag flag) const;

  // ---- Members (the base class holds the position and the restrictions) ----------------------
  // The visible field list was set explicitly (SQL); it is then not rebuilt from the table.
  bool Projected = false;
  std::string CurrentIndexName;
  // Set before OpenTable (Exclusive and Temporary are the base class's).
  bool ReadOnly = false;
  bool InMemory = false;
  bool IsOpen() const { return open_; }
  // The record as it was when editing began, set by the dataset layer for an update.
  uint8_t* OldRecord = nullptr;
  // Copies of the table's definitions (after InitFieldDefs / OpenTable).
  std::unique_ptr<TQDXConstraintDefs> ConstraintDefs;
  std::unique_ptr<TQDXFieldDefs> TableFieldDefs;
  // The fields the dataset sees; SourceFieldNo names each one's table field.
  std::unique_ptr<TQDXFieldDefs> VisibleFieldDefs;
  std::unique_ptr<TQDXIndexDefs> IndexDefs;
  // The outcome of the last edit, post, cancel or delete, and the message of crCheckFailed.
  int32_t ResultCode = crOK;
  std::string ResultMessage;
  // Delete an in-memory or temporary table when it is closed.
  bool AutoDelete = false;
  // Buffer layout (Data model above); set by InitFieldDefs. The dataset layer grows
  // RecordBufferSize by its calculated area before it allocates buffers.
  int32_t RecordBufferSize = 0;
  int32_t CompareSize = 0;
  int32_t KeyBufferSize = 0;
  int32_t CalculatedAreaOffset = 0;
  int32_t BookmarkOffset = 0;

  // The table field number behind a visible one. Requires: a visible field number.
  int32_t SourceFieldNo(int32_t visibleFieldNo) const;
  int32_t VisibleFieldCount() const {
    return VisibleFieldDefs != nullptr ? VisibleFieldDefs->Count() : 0;
  }

 protected:
  // Copies the table field definitions into the visible ones, each naming itself as source,
  // unless the projection was set; then the layout sizes.
  void BuildLayout();
  // The visible field, or `failure` (an "Invalid field number" entry).
  const TQDXFieldDef& VisibleField(int32_t fieldNo, const msg::Message& failure) const;
  void SetOpen(bool open) { open_ = open; }

  std::vector<std::unique_ptr<TQDXLocalBLOBStream>> blobStreams_;

 private:
  bool open_ = false;
};

}  // namespace qdx
