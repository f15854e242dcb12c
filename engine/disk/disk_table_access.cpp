// The disk table's record operations: the read wrapper of multi-user mode around the shared
// reading algorithms, physical positions and the record changes.
#include <algorithm>
#include <cstring>

#include "engine/core/database_data.h"
#include "engine/disk/disk_database_data.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/disk/disk_table_data.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/random.h"

namespace qdx {

// In multi-user mode: a read table lock for the cursor's session, the table header read afresh
// and (when `push`) the table on the session's stack of the table pages cache, all given back
// when the scope ends. Nested scopes (an operation that calls another) do nothing. Locked()
// tells whether the lock could be had; without it the scope holds nothing.
class TQDXDiskTableData::ReadScope {
 public:
  ReadScope(TQDXDiskTableData& table, TQDXTableCursor& cursor, bool push, bool rebuild)
      : table_(table), sessionID_(cursor.SessionID()) {
    if (!table.MultiUser() || table.readDepth_ > 0 || table.locks_ == nullptr) return;
    locked_ = table.locks_->LockTable(sessionID_, TQDXTableLockKind::Read, false, false,
                                      20 + platform::RandomBelow(20),
                                      std::max(table.disk_->ReadLockTries, 1));
    if (!locked_) return;
    ++table.readDepth_;
    counted_ = true;
    try {
      table.ReadTableHeader(sessionID_);
      if (push) {
        table.DiskPages().TablePagesCache().PushTable(sessionID_, &table);
        pushed_ = true;
        if (rebuild) table.RebuildTemporaryIndexes(cursor);
      }
    } catch (...) {
      Release();
      throw;
    }
  }
  ~ReadScope() { Release(); }
  ReadScope(const ReadScope&) = delete;
  ReadScope& operator=(const ReadScope&) = delete;

  // False only when the read lock was refused.
  bool Locked() const { return locked_ || !table_.MultiUser() || table_.locks_ == nullptr; }
  bool Refused() const { return !Locked(); }

 private:
  void Release() noexcept {
    try {
      if (pushed_) table_.DiskPages().TablePagesCache().PopTable(sessionID_);
      pushed_ = false;
      if (locked_ && table_.locks_) {
        table_.locks_->UnlockTable(sessionID_, TQDXTableLockKind::Read, false, false);
      }
    } catch (...) {  // an unlock that fails leaves the byte to the handle
    }
    locked_ = false;
    if (counted_) --table_.readDepth_;
    counted_ = false;
  }

  TQDXDiskTableData& table_;
  int32_t sessionID_;
  bool locked_ = false;
  bool counted_ = false;
  bool pushed_ = false;
};

void TQDXDiskTableData::RebuildTemporaryIndexes(TQDXTableCursor& cursor) {
  IndexManager().RebuildStaleTemporaryIndexes(cursor.IndexCursor());
  ApplyTemporaryChanges(cursor.SessionID());
}

// ---- Reading ---------------------------------------------------------------------------------

uint8_t TQDXDiskTableData::GetRecord(TQDXTableCursor& cursor, uint8_t mode) {
  platform::CriticalSectionGuard guard(Database().Lock());
  ReadScope scope(*this, cursor, true, true);
  if (scope.Refused()) return grError;
  return TQDXTableData::GetRecord(cursor, mode);
}

bool TQDXDiskTableData::LocateRecord(TQDXTableCursor& cursor,
                                     const TQDXFilterExpression* expression) {
  platform::CriticalSectionGuard guard(Database().Lock());
  ReadScope scope(*this, cursor, true, true);
  if (scope.Refused()) Raise(msg::kLocateTableLocked);
  return TQDXTableData::LocateRecord(cursor, expression);
}

bool TQDXDiskTableData::FindKey(TQDXTableCursor& cursor, int32_t kind) {
  platform::CriticalSectionGuard guard(Database().Lock());
  ReadScope scope(*this, cursor, true, true);
  if (scope.Refused()) Raise(msg::kFindKeyTableLocked);
  return TQDXTableData::FindKey(cursor, kind);
}

void TQDXDiskTableData::SetRecNo(TQDXTableCursor& cursor, int64_t recNo) {
  platform::CriticalSectionGuard guard(Database().Lock());
  ReadScope scope(*this, cursor, true, true);
  if (scope.Refused()) Raise(msg::kSetRecNoTableLocked);
  TQDXTableData::SetRecNo(cursor, recNo);
}

int64_t TQDXDiskTableData::GetRecNo(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(Database().Lock());
  ReadScope scope(*this, cursor, true, true);
  if (scope.Refused()) Raise(msg::kGetRecNoTableLocked);
  return TQDXTableData::GetRecNo(cursor);
}

void TQDXDiskTableData::SetPhysicalRecNo(TQDXTableCursor& cursor, int64_t recNo) {
  platform::CriticalSectionGuard guard(Database().Lock());
  ReadScope scope(*this, cursor, true, false);
  if (scope.Refused()) Raise(msg::kSetPhysicalRecNoTableLocked);
  if (cursor.Buffer == nullptr) Raise(msg::kGetRecordBufferNil);
  TQDXDiskRecordManager& records = DiskRecords();
  if (recNo < 1 || recNo > records.RecordCount) Raise(msg::kPageIndexRecNoBeyondCount);
  const TQDXRecordID id = records.RecordAtPhysicalIndex(cursor.SessionID(), recNo - 1);
  if (!ReadRecordByID(cursor.SessionID(), id, cursor.Buffer)) Raise(msg::kPhysicalRecordNotFound);
  cursor.RecordID = id;
  cursor.AtBOF = cursor.AtEOF = false;
}

int64_t TQDXDiskTableData::GetPhysicalRecNo(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(Database().Lock());
  ReadScope scope(*this, cursor, true, false);
  if (scope.Refused()) Raise(msg::kGetPhysicalRecNoTableLocked);
  if (cursor.AtBOF || cursor.AtEOF) return -1;
  return DiskRecords().PhysicalNumberOf(cursor.SessionID(), cursor.RecordID);
}

int64_t TQDXDiskTableData::GetPhysicalRecordCount(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(Database().Lock());
  ReadScope scope(*this, cursor, false, false);
  if (scope.Refused()) Raise(msg::kRecordCountTableLocked);
  return DiskRecords().RecordCount;
}

int64_t TQDXDiskTableData::GetMaxRecordPosition(int32_t sessionID) {
  return DiskRecords().MaxRecordPosition(sessionID);
}

int64_t TQDXDiskTableData::RecordIDToPosition(TQDXRecordID id) {
  return RecordPosition(id, DiskRecords().RecordsPerPage());
}

TQDXRecordID TQDXDiskTableData::PositionToRecordID(int64_t position) {
  return RecordIDOfPosition(position, DiskRecords().RecordsPerPage());
}

// ---- Changes ---------------------------------------------------------------------------------

bool TQDXDiskTableData::InsertRecord(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(Database().Lock());
  RequireWritable();
  if (!HasRecordManager()) Raise(msg::kInsertNoRecordManager);
  if (cursor.Buffer == nullptr) Raise(msg::kInsertNoBuffer);
  // The count written with the new record must build on the file's, not on an older reading.
  if (MultiUser()) ReadTableHeader(cursor.SessionID());
  const bool inserted = InsertRecordSteps(cursor);
  ApplyTemporaryChanges(cursor.SessionID());
  return inserted;
}

bool TQDXDiskTableData::UpdateRecord(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(Database().Lock());
  RequireWritable();
  if (!HasRecordManager()) Raise(msg::kUpdateNoRecordManager);
  if (cursor.Buffer == nullptr) Raise(msg::kUpdateNoBuffer);
  const bool updated = UpdateRecordSteps(cursor);
  ApplyTemporaryChanges(cursor.SessionID());
  return updated;
}

bool TQDXDiskTableData::DeleteRecord(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(Database().Lock());
  RequireWritable();
  if (!HasRecordManager()) Raise(msg::kDeleteNoRecordManager);
  const bool deleted = DeleteRecordSteps(cursor);
  ApplyTemporaryChanges(cursor.SessionID());
  return deleted;
}

int64_t TQDXDiskTableData::LastAutoincValue(int32_t fieldNo, TQDXBaseSession* session) {
  platform::CriticalSectionGuard guard(Database().Lock());
  return FieldManager().LastAutoincValue(session, fieldNo);
}

}  // namespace qdx
