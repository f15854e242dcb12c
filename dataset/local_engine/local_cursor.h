// TQDXLocalCursor: the cursor of a table of a database opened inside this process.
//
// It implements every cursor operation on the table data of its session's database data: the
// table maintenance operations, opening and closing, moving and counting, filters, Locate and
// key search, BLOB streams, and the record changes with the locking of a shared database and
// the result codes the dataset layer reports (CursorResult).
//
// The record changes (EditRecord, PostRecord, DeleteRecord, CancelRecord) never raise for the
// outcomes of the result table: they leave ResultCode and, for crCheckFailed, ResultMessage, and
// the current buffer as it was. In a shared (multi-user) database a disk table is locked first:
// an edit takes the table lock (kind 3 inside a transaction, else 2) and the record lock, which
// stay until the post or the cancel; a post and a delete take kind 3 or 4. The waits are the
// session's LockTiming; between tries the cursor leaves the database's critical section, so
// other sessions of the process can go on.
//
// Implementation files: local_cursor.cpp (open, close, definitions, table maintenance),
// local_cursor_navigation.cpp (moving, filters, Locate), local_cursor_changes.cpp (edit, post,
// cancel, delete, locks), local_cursor_blobs.cpp (BLOB streams, CopyFieldValue),
// local_cursor_disk.cpp (what a disk table gives beyond the table data interface).
//
// A cursor is used by one thread at a time.
#pragma once

#include <cstdint>
#include <string_view>

#include "dataset/local_engine/cursor.h"
#include "dataset/local_engine/local_session.h"

namespace qdx {

class DatabaseSection;
class TQDXDatabaseData;
class TQDXDiskTableLocks;
class TQDXTableData;

class TQDXLocalCursor : public TQDXCursor {
 public:
  // The dataset layer sets TableName and the flags before OpenTable or a table operation.
  explicit TQDXLocalCursor(TQDXLocalSession& session);
  // Closes the table; failures are swallowed (call CloseTable first to see them).
  ~TQDXLocalCursor() override;

  void CreateTable(const TQDXFieldDefs& fields, const TQDXIndexDefs& indexes,
                   const TQDXConstraintDefs& constraints) override;
  void DeleteTable() override;
  void EmptyTable() override;
  void RenameTable(std::string_view newName) override;
  void InitFieldDefs() override;
  void OpenTable() override;
  void CloseTable() override;
  // The table's database section, held from Lock to Unlock across the caller's calls: the
  // analysis cannot follow a lock handed out this way.
  void Lock() override QDX_NO_THREAD_SAFETY_ANALYSIS;
  void Unlock() override QDX_NO_THREAD_SAFETY_ANALYSIS;
  bool LockTable(TQDXTableLockKind kind, int32_t tries, bool editFlag, uint32_t pauseMs) override;
  bool UnlockTable(TQDXTableLockKind kind, bool onlyIfHeld) override;
  void RenameField(std::string_view oldName, std::string_view newName) override;
  const TQDXIndexDefs& GetIndexDefs() override;
  void AddIndex(const TQDXIndexDef& definition) override;
  void DeleteIndex(std::string_view name) override;
  void DeleteAllIndexes() override;
  int32_t GetIndexForFields(const std::vector<std::string>& fieldNames,
                            const std::vector<std::string>& orderTexts,
                            const std::vector<std::string>& caseTexts) override;
  bool IndexExistsForFields(const std::vector<std::string>& fieldNames,
                            const std::vector<std::string>& orderTexts,
                            const std::vector<std::string>& caseTexts) override;
  void CopyFieldValue(int32_t fieldNo, bool useTableDefs, TQDXCursor& target,
                      int32_t targetFieldNo) override;
  void InitRecord(uint8_t* buffer, bool applyDefaults) override;
  void FreeRecordBuffer(RecordBuffer& buffer) override;
  int64_t GetRecordCount() override;
  uint8_t GetRecord(TQDXGetRecordMode mode) override;
  void SetRecNo(int64_t recNo) override;
  int64_t GetRecNo() override;
  int32_t CompareBookmarks(const uint8_t* a, const uint8_t* b) override;
  void First() override;
  void Last() override;
  void InsertRecord() override {}
  void EditRecord() override;
  void CancelRecord(bool wasInsert) override;
  void PostRecord(bool isInsert) override;
  void DeleteRecord() override;
  bool IsRecordLocked() override;
  void SetDistinctFields(const std::vector<std::string>& fieldNames,
                         const std::vector<std::string>& orderTexts,
                         const std::vector<std::string>& caseTexts) override;
  void SetFilter(std::string_view text, bool caseInsensitive, bool partialCompare) override;
  void ClearFilter() override;
  bool Locate(std::string_view keyFields, std::span<const TQDXVariant> values,
              bool caseInsensitive, bool partial) override;
  bool FindKey(int32_t kind) override;
  bool LocateValue(std::string_view fieldName, const TQDXVariant& value, bool caseInsensitive,
                   bool partial) override;
  TQDXLocalBLOBStream* OpenBlob(bool inInsert, bool inEdit, bool inBrowse, BlobMode mode,
                                int32_t fieldNo) override;
  void CloseBlob(int32_t fieldNo) override;
  void FreeBlobs(bool writableOnly) override;
  int64_t LastAutoincValue(int32_t fieldNo) override;
  void BeginImplicitChange() override;
  void CommitImplicitChange() override;
  void RollbackImplicitChange() override;
  bool CheckConstraints(bool inserting) override;

  TQDXLocalSession& LocalSession() const { return *session_; }
  // The opened table data and the session's database data; none while closed.
  TQDXTableData* TableData() const { return tableData_; }
  TQDXDatabaseData* DatabaseData() const { return databaseData_; }

 private:
  // ---- local_cursor.cpp
  // The session's database data; connects nothing (the session must be connected).
  TQDXDatabaseData& Database();
  TQDXTableData& Table(const msg::Message& failure) const;
  bool IsTemporaryEngine() const { return session_->IsTemporaryDatabase(); }
  bool IsMemoryOrTemporaryEngine() const {
    return session_->IsMemoryDatabase() || session_->IsTemporaryDatabase();
  }
  // The table named by TableName in the database, ignoring case; 20132..20134 when missing.
  void RequireTableInDatabase(const msg::Message& failure);
  // The table data for a maintenance operation; `failure` when the database gives none.
  TQDXTableData& MaintenanceTableData(const msg::Message& failure);
  // Index and constraint copies from the table.
  void RefreshIndexCopies();
  // Forgets the table data (and frees it when no cursor of the disk engine uses it).
  void ReleaseTableData();

  // ---- local_cursor_disk.cpp: what the cursor needs of a disk table beyond the table data
  // The table's lock operations; null for a table of another engine.
  TQDXDiskTableLocks* DiskLocks() const;
  // Re-reads a disk table's header (autoinc state, record count) for the session.
  void RefreshDiskTableHeader();

  // ---- local_cursor_changes.cpp
  // The table and record locks of a shared database's disk table; null otherwise.
  TQDXDiskTableLocks* SharedLocks() const;
  // A lock taken one try at a time, the database's section left while sleeping between tries.
  bool LockTableSleeping(DatabaseSection& section, TQDXDiskTableLocks& locks,
                         TQDXTableLockKind kind, int32_t tries, uint32_t pauseMs);
  bool LockRecordSleeping(DatabaseSection& section, TQDXDiskTableLocks& locks, TQDXRecordID id);
  struct ChangeLocks;
  // The table lock of `kind`, then the record lock, as an edit and a delete take them.
  ChangeLocks LockForChange(DatabaseSection& section, TQDXDiskTableLocks* locks,
                            TQDXTableLockKind kind, TQDXRecordID id);
  // The record `id` read into the current buffer (position on it); whether it was found.
  bool ReRead(TQDXRecordID id);
  int32_t EditBody();
  int32_t PostBody(bool isInsert);
  int32_t DeleteBody();

  // ---- local_cursor_blobs.cpp
  bool HasOpenWritableStream(int32_t fieldNo) const;
  // Re-reads the current record so that a read stream sees the value last stored.
  bool RefreshForBlob();
  void CloseStream(TQDXLocalBLOBStream& stream);

  TQDXLocalSession* session_;
  TQDXTableData* tableData_ = nullptr;
  TQDXDatabaseData* databaseData_ = nullptr;
};

}  // namespace qdx
