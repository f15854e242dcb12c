// TQDXDiskTableData: a table stored in the database file, one object per table name and process
// (made by the disk database data's CreateTableData).
//
// A table is three internal files and its pages: the lock slot file (type 7, the table and
// record locks between processes), the metadata file (type 8: field, index and constraint
// definitions and the first pages of the record page index and the BLOB page index, stored
// compressed) and the MostUpdated file (type 9, the table header: autoinc counters,
// ChangeStamp, RecordCount; rewritten after every change). The table list names the three
// start pages. Records live in record pages of TQDXDiskRecordManager; indexes are B-trees of
// the index manager in the same file; temporary indexes keep their pages in memory
// (TQDXTemporaryPageManager).
//
// Design notes:
//  1. The managers and the three files exist while at least one cursor is registered: the first
//     RegisterCursor opens the table (loads the metadata and the header), the last
//     UnregisterCursor closes it. Between processes the tables lock guards create, delete,
//     rename and opening; each registered cursor holds an open table lock (kind 0, or 6 when
//     exclusive) until it leaves.
//  2. In multi-user mode every read operation runs under a read table lock (kind 1) and first
//     re-reads the table header, so RecordCount and ChangeStamp are those of the file; the
//     stamp tells the table pages cache which cached pages of the table are still current.
//     Single-user mode runs the shared algorithms directly.
//  3. Structure changes (create, delete, rename, index and field changes) run in the system
//     session (-2) and are applied at once; record changes belong to the cursor's session and
//     are applied unless the session is inside a transaction or the cursor batches.
//  4. The temporary page manager's changes are applied after every operation that may change a
//     temporary index, whether or not the session is in a transaction: temporary indexes are
//     not part of transactions, and their pages must be visible to every session that changes
//     the table.
//  5. A cursor whose TableDataFlag asks for repair opens the table through a check of the
//     record page index against the table header; a failed check rebuilds the page index from
//     the record pages found in the file.
//
// BLOB values belong to the table's TQDXDiskBlobManager (disk_table_blobs.cpp): the record
// changes store and delete them through the StoreBlobValues / DeleteBlobValues hooks, emptying
// and deleting the table remove them all, and tables with BLOB fields have a BLOB page index.
//
// On a read-only database (asked for, or forced because another program writes the file) every
// change refuses with 10106 before it changes anything: records, BLOB values, tables and
// their structure.
//
// Every operation runs inside the database's critical section.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/table_data.h"
#include "engine/disk/disk_blob_manager.h"
#include "engine/disk/disk_record_manager.h"
#include "engine/disk/disk_table_locks.h"
#include "engine/disk/internal_transacted_file.h"
#include "engine/disk/table_locks_file.h"
#include "engine/disk/temporary_page_manager.h"

namespace qdx {

class TQDXDiskDatabaseData;
class TQDXDiskPageManager;

// The cursor's TableDataFlag value that opens the table in repair mode.
inline constexpr uint8_t kTableDataFlagRepair = 1;

class TQDXDiskTableData : public TQDXTableData {
 public:
  // Requires: the database is open.
  TQDXDiskTableData(TQDXDiskDatabaseData& database, std::string name);
  ~TQDXDiskTableData() override;

  // ---- Slots ----------------------------------------------------------------------------------
  void CreateRecordManager() override;
  void SetFieldDefs(const TQDXFieldDefs& defs) override;
  void SetIndexDefs(const TQDXIndexDefs& defs) override;
  // 30040 for a constraint type other than 0, 2, 3, 4.
  void SetConstraintDefs(const TQDXConstraintDefs& defs) override;
  void ApplyChanges(int32_t sessionID, bool inTransaction) override;
  void CancelChanges(int32_t sessionID, bool inTransaction) override;
  void CreateTable(TQDXTableCursor& cursor, const TQDXFieldDefs& fields,
                   const TQDXConstraintDefs& constraints, const TQDXIndexDefs& indexes) override;
  void DeleteTable(TQDXTableCursor* cursor, bool forced) override;
  void EmptyTable(TQDXTableCursor& cursor) override;
  void RenameTable(std::string_view newName, TQDXTableCursor* cursor) override;
  // Opens the table for the cursor: 20210, 20242, 30396, 20208, 20209.
  void RegisterCursor(TQDXTableCursor& cursor) override;
  void UnregisterCursor(TQDXTableCursor& cursor) override;
  void RenameField(std::string_view oldName, std::string_view newName) override;
  int32_t AddIndex(const TQDXIndexDef& definition, TQDXTableCursor& cursor) override;
  void DeleteIndex(int32_t indexID, TQDXTableCursor* cursor) override;
  int64_t GetMaxRecordPosition(int32_t sessionID) override;
  int64_t RecordIDToPosition(TQDXRecordID id) override;
  TQDXRecordID PositionToRecordID(int64_t position) override;
  void FreeRecordBuffer(uint8_t* buffer) override;
  // Releases the field's cached value unless it is modified.
  void FreeBlobCache(uint8_t* buffer, int32_t fieldNo) override;
  // Releases every cached value of the buffer, modified ones too.
  void FreeBlobCaches(uint8_t* buffer) override;
  uint8_t GetRecord(TQDXTableCursor& cursor, uint8_t mode) override;
  bool LocateRecord(TQDXTableCursor& cursor, const TQDXFilterExpression* expression) override;
  bool FindKey(TQDXTableCursor& cursor, int32_t kind) override;
  // 20324 for a stream this table's OpenBlob did not make.
  void CloseBlob(TQDXTableCursor& cursor, int32_t fieldNo, TQDXStream& stream) override;
  std::unique_ptr<TQDXStream> OpenBlob(TQDXTableCursor& cursor, bool readOnly, int32_t mode,
                                       int32_t fieldNo) override;
  TQDXBlobValue GetBlobData(TQDXTableCursor& cursor, int32_t fieldNo) override;
  void SetBlobData(TQDXTableCursor& cursor, int32_t fieldNo, const TQDXBlobValue& value) override;
  void ClearBlobData(TQDXTableCursor& cursor, int32_t fieldNo, uint8_t* buffer) override;
  // 20135 / 20136, 20137, 20138 / 20139 without record manager / buffer.
  bool InsertRecord(TQDXTableCursor& cursor) override;
  bool DeleteRecord(TQDXTableCursor& cursor) override;
  bool UpdateRecord(TQDXTableCursor& cursor) override;
  void SetRecNo(TQDXTableCursor& cursor, int64_t recNo) override;
  int64_t GetRecNo(TQDXTableCursor& cursor) override;
  void SetPhysicalRecNo(TQDXTableCursor& cursor, int64_t recNo) override;
  int64_t GetPhysicalRecNo(TQDXTableCursor& cursor) override;
  int64_t GetPhysicalRecordCount(TQDXTableCursor& cursor) override;
  int64_t LastAutoincValue(int32_t fieldNo, TQDXBaseSession* session) override;
  void AfterRollback(int32_t sessionID) override;

  // ---- The table's storage ------------------------------------------------------------------
  int32_t TableID() const { return tableID_; }
  bool IsOpen() const { return records_ != nullptr; }
  // Require: the table is open.
  TQDXDiskRecordManager& DiskRecords() const;
  TQDXTemporaryPageManager& TemporaryPages() const { return *temporaryPages_; }
  int32_t BlobPageIndexFirstPage() const { return blobs_ ? blobs_->IndexRootPageNo() : -1; }
  // Requires: the table is open (10015 otherwise).
  TQDXDiskBlobManager& Blobs() const;
  // The table and record locks the cursor takes around its changes; null while not open.
  TQDXDiskTableLocks* Locks() const { return locks_.get(); }
  // The table header and the metadata, read and written for a session.
  void ReadTableHeader(int32_t sessionID);
  void WriteTableHeader(int32_t sessionID);
  void LoadMetadata(int32_t sessionID);
  void WriteMetadata(int32_t sessionID);

 protected:
  void RefreshTableHeader(int32_t sessionID) override { ReadTableHeader(sessionID); }
  void SaveTableHeader(int32_t sessionID) override { WriteTableHeader(sessionID); }
  void StoreBlobValues(TQDXTableCursor& cursor) override;
  void DeleteBlobValues(TQDXTableCursor& cursor) override;

 private:
  class ReadScope;
  friend class ReadScope;

  TQDXDiskDatabaseData& Disk() const { return *disk_; }
  TQDXDiskPageManager& DiskPages() const;
  bool MultiUser() const;
  // 10106 on a read-only database: every change refuses before it touches anything.
  void RequireWritable() const;
  // Fresh field, index, constraint and temporary page managers (an open, or a create).
  void CreateManagers();
  // Drops the managers and closes the three files.
  void CloseStorage() noexcept;
  void OpenStorage(TQDXTableCursor& cursor);
  // The repair-mode check and, when it fails, the repair.
  void CheckOrRepair(int32_t sessionID);
  void LockCursorTable(TQDXTableCursor& cursor);
  void UnlockCursorTable(TQDXTableCursor& cursor);
  // UnlockCursorTable, swallowing a failure.
  void ReleaseCursorTable(TQDXTableCursor& cursor) noexcept;
  bool HoldsTableLock(const TQDXTableCursor& cursor) const;
  void ApplyTemporaryChanges(int32_t sessionID);
  // The steps of a record change when another process may have changed the table: the header
  // is current and the session's temporary indexes caught up.
  void RebuildTemporaryIndexes(TQDXTableCursor& cursor);

  TQDXDiskDatabaseData* disk_;
  int32_t tableID_ = -1;
  std::unique_ptr<TQDXTableLocksFile> locksFile_;
  std::unique_ptr<TQDXDiskTableLocks> locks_;
  std::unique_ptr<TQDXInternalDBTransactedAccessFile> metadataFile_;
  std::unique_ptr<TQDXInternalDBTransactedAccessFile> mostUpdatedFile_;
  std::unique_ptr<TQDXTemporaryPageManager> temporaryPages_;
  TQDXDiskRecordManager* records_ = nullptr;  // owned by the base as its record manager
  std::unique_ptr<TQDXDiskBlobManager> blobs_;
  bool openedExclusively_ = false;
  bool structureChange_ = false;
  int32_t headerChangeStamp_ = -1;
  // Read scopes entered and not yet left (an operation that calls another locks once).
  int32_t readDepth_ = 0;
  // The cursors that hold their table lock, and the kind each holds.
  std::vector<std::pair<const TQDXTableCursor*, TQDXTableLockKind>> lockHolders_;
};

}  // namespace qdx
