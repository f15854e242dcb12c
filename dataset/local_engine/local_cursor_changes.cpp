// The local cursor's record changes: EditRecord, PostRecord, DeleteRecord and CancelRecord,
// with the table and record locks of a shared database and the result codes.
//
// Locks of a shared disk table, by operation (kinds of the table lock manager):
//
//   operation  table lock (outside / inside a transaction)  record lock  released
//   edit       2 / 3                                        yes          at post or cancel, or
//                                                                        at once on failure
//   post       4 / 3                                        -            kind 4 after the post;
//                                                                        an update also drops the
//                                                                        edit's record lock and 2
//   delete     4 / 3                                        yes          after the delete
//
// Inside a transaction the kind-3 locks stay until the transaction ends. Every wait is one try
// at a time with the database's section left during the pause, so that another session of the
// process can finish what it holds. A failure that raises (the table data's own errors) still
// gives back the locks the operation took for itself.
#include <cstring>
#include <exception>
#include <functional>
#include <vector>

#include "dataset/local_engine/local_blob_stream.h"
#include "dataset/local_engine/local_cursor.h"
#include "dataset/local_engine/local_cursor_section.h"
#include "engine/core/record_layout.h"
#include "engine/core/table_data.h"
#include "engine/disk/disk_table_locks.h"
#include "engine/foundation/except.h"
#include "engine/foundation/scope_guard.h"

namespace qdx {
namespace {

// A copy of the current buffer's record data, bookmark and flag, put back on failure.
class BufferCopy {
 public:
  BufferCopy(uint8_t* buffer, int32_t size) : buffer_(buffer), bytes_(buffer, buffer + size) {}
  void PutBack() const { std::memcpy(buffer_, bytes_.data(), bytes_.size()); }
  const uint8_t* data() const { return bytes_.data(); }

 private:
  uint8_t* buffer_;
  std::vector<uint8_t> bytes_;
};

// The lock an edit takes and keeps until the post or the cancel.
TQDXTableLockKind EditLockKind(bool inTransaction) {
  return inTransaction ? TQDXTableLockKind::TransactionEdit : TQDXTableLockKind::Edit;
}

// The lock a post or a delete takes.
TQDXTableLockKind WriteLockKind(bool inTransaction) {
  return inTransaction ? TQDXTableLockKind::TransactionEdit : TQDXTableLockKind::Commit;
}

using LockRelease = ScopeExit<std::function<void()>>;

// Gives back a table lock the operation took when the operation ends, unless dismissed.
LockRelease TableLockRelease(TQDXDiskTableLocks* locks, int32_t session, TQDXTableLockKind kind) {
  return LockRelease([=] {
    if (locks != nullptr) locks->UnlockTable(session, kind, false, true);
  });
}

// Gives back a record lock the operation took when the operation ends, unless dismissed.
LockRelease RecordLockRelease(TQDXDiskTableLocks* locks, int32_t session, TQDXRecordID id) {
  return LockRelease([=] {
    if (locks != nullptr) locks->UnlockRecord(session, id);
  });
}

}  // namespace

// The locks an edit or a delete holds, each given back when the operation ends unless
// dismissed: the record lock first, then the table lock. Refused is crTableLocked or
// crRecordLocked when a lock could not be taken; the guards then hold nothing more.
struct TQDXLocalCursor::ChangeLocks {
  int32_t Refused = crOK;
  LockRelease Table;
  LockRelease Record;
};

TQDXDiskTableLocks* TQDXLocalCursor::SharedLocks() const {
  return session_->MultiUser() ? DiskLocks() : nullptr;
}

bool TQDXLocalCursor::LockTableSleeping(DatabaseSection& section, TQDXDiskTableLocks& locks,
                                        TQDXTableLockKind kind, int32_t tries, uint32_t pauseMs) {
  // A transaction's kind-3 lock is not held back by another session's plain edit lock: the
  // record locks keep the records apart.
  const bool editFlag = kind == TQDXTableLockKind::TransactionEdit;
  for (int32_t attempt = 0; attempt < tries; ++attempt) {
    if (attempt > 0) section.SleepOutside(pauseMs);
    if (locks.LockTable(SessionID(), kind, editFlag, false, pauseMs, 1)) return true;
  }
  return false;
}

bool TQDXLocalCursor::LockRecordSleeping(DatabaseSection& section, TQDXDiskTableLocks& locks,
                                         TQDXRecordID id) {
  const LocalLockTiming& timing = session_->LockTiming;
  for (int32_t attempt = 0; attempt < timing.RecordTries; ++attempt) {
    if (attempt > 0) section.SleepOutside(timing.RecordPauseMs);
    if (locks.LockRecord(SessionID(), timing.RecordPauseMs, 1, id)) return true;
  }
  return false;
}

TQDXLocalCursor::ChangeLocks TQDXLocalCursor::LockForChange(DatabaseSection& section,
                                                           TQDXDiskTableLocks* locks,
                                                           TQDXTableLockKind kind,
                                                           TQDXRecordID id) {
  const int32_t session = SessionID();
  const LocalLockTiming& timing = session_->LockTiming;
  if (locks != nullptr &&
      !LockTableSleeping(section, *locks, kind, timing.EditTableTries, timing.EditTablePauseMs)) {
    return {crTableLocked, TableLockRelease(nullptr, session, kind),
            RecordLockRelease(nullptr, session, id)};
  }
  LockRelease table = TableLockRelease(locks, session, kind);
  if (locks != nullptr && !LockRecordSleeping(section, *locks, id)) {
    return {crRecordLocked, std::move(table), RecordLockRelease(nullptr, session, id)};
  }
  return {crOK, std::move(table), RecordLockRelease(locks, session, id)};
}

bool TQDXLocalCursor::ReRead(TQDXRecordID id) {
  RecordID = id;
  AtBOF = false;
  AtEOF = false;
  return tableData_->GetRecord(*this, grmCurrent) == grOK;
}

// ---- Edit -----------------------------------------------------------------------------------

void TQDXLocalCursor::EditRecord() {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  ResultMessage.clear();
  if (IsTemporaryEngine()) {
    ResultCode = crTemporaryEdit;
    return;
  }
  ResultCode = crOK;
  if (!session_->MultiUser()) return;
  TQDXDiskTableLocks* locks = DiskLocks();
  const TQDXRecordID id = Bookmark(Buffer);
  ChangeLocks held = LockForChange(section, locks, EditLockKind(InTransaction()), id);
  if (held.Refused != crOK) {
    ResultCode = held.Refused;
    return;
  }
  ResultCode = EditBody();
  // The edit keeps both locks until its post or cancel.
  if (ResultCode == crOK) {
    held.Record.Dismiss();
    held.Table.Dismiss();
  }
}

// The stored record must still be the one the buffer holds: another session may have changed
// or deleted it since it was read.
int32_t TQDXLocalCursor::EditBody() {
  const BufferCopy copy(Buffer, CompareSize);
  if (!ReRead(Bookmark(Buffer))) {
    copy.PutBack();
    return crRecordMissing;
  }
  if (!RecordsEqual(*TableFieldDefs, Buffer, copy.data())) {
    copy.PutBack();
    return crRecordChanged;
  }
  return crOK;
}

// ---- Post -----------------------------------------------------------------------------------

void TQDXLocalCursor::PostRecord(bool isInsert) {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  ResultCode = crOK;
  ResultMessage.clear();
  TQDXDiskTableLocks* locks = SharedLocks();
  const bool inTransaction = InTransaction();
  const TQDXTableLockKind kind = WriteLockKind(inTransaction);
  const TQDXRecordID editedID = Bookmark(Buffer);
  const LocalLockTiming& timing = session_->LockTiming;
  if (locks != nullptr &&
      !LockTableSleeping(section, *locks, kind, timing.PostTableTries, timing.PostTablePauseMs)) {
    ResultCode = crTableLocked;
    return;
  }
  // Inside a transaction the kind-3 lock stays until the transaction ends.
  auto postLock = TableLockRelease(inTransaction ? nullptr : locks, SessionID(), kind);
  ResultCode = PostBody(isInsert);
  if (locks == nullptr) return;
  // An update that failed its checks keeps the edit's locks, so that it can be posted again.
  if (!isInsert && ResultCode != crCheckFailed) {
    auto editTableLock = TableLockRelease(locks, SessionID(), TQDXTableLockKind::Edit);
    RecordLockRelease(locks, SessionID(), editedID).ReleaseNow();
  }
}

int32_t TQDXLocalCursor::PostBody(bool isInsert) {
  TQDXTableData& table = *tableData_;
  try {
    if (isInsert) {
      // Another process may have moved the autoinc counters; alone, the table's are current.
      if (SharedLocks() != nullptr) RefreshDiskTableHeader();
      table.FieldManager().AssignAutoincValues(session_, Buffer);
    }
    if (!IsTemporaryEngine()) {
      const TQDXRecordID current = isInsert ? TQDXRecordID{} : Bookmark(Buffer);
      table.ConstraintManager().CheckRecord(SessionID(), Buffer, true, true, current, isInsert,
                                            OldRecord);
    }
  } catch (const std::exception& failure) {
    ResultMessage = failure.what();
    return crCheckFailed;
  }
  FreeBlobs(true);
  if (isInsert) {
    if (!table.InsertRecord(*this)) return crInsertFailed;
    SetBookmark(Buffer, RecordID);
    SetRecordFlag(Buffer, RecordPositionFlag::Inserted);
    return crOK;
  }
  const BufferCopy copy(Buffer, CompareSize);
  if (!ReRead(Bookmark(copy.data()))) {
    copy.PutBack();
    return crRecordMissing;
  }
  // Without the record as editing found it there is nothing to hold the stored one against.
  const bool unchanged =
      OldRecord == nullptr || RecordsEqual(*TableFieldDefs, Buffer, OldRecord);
  copy.PutBack();
  if (!unchanged) return crRecordChanged;
  return table.UpdateRecord(*this) ? crOK : crUpdateFailed;
}

// ---- Delete ---------------------------------------------------------------------------------

void TQDXLocalCursor::DeleteRecord() {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  ResultCode = crOK;
  ResultMessage.clear();
  TQDXDiskTableLocks* locks = SharedLocks();
  const bool inTransaction = InTransaction();
  const TQDXRecordID id = Bookmark(Buffer);
  ChangeLocks held = LockForChange(section, locks, WriteLockKind(inTransaction), id);
  if (held.Refused != crOK) {
    ResultCode = held.Refused;
    return;
  }
  // Inside a transaction the kind-3 lock stays until the transaction ends.
  if (inTransaction) held.Table.Dismiss();
  ResultCode = DeleteBody();
}

// The buffer must still hold the stored record. The record data compare as RecordsEqual does,
// so that a BLOB value the buffer loaded (its cache handle) does not count as a change.
int32_t TQDXLocalCursor::DeleteBody() {
  if (IsTemporaryEngine()) return crTemporaryDelete;
  const BufferCopy copy(Buffer, CompareSize);
  if (!ReRead(Bookmark(copy.data()))) {
    copy.PutBack();
    return crDeleteRecordMissing;
  }
  const bool unchanged =
      RecordsEqual(*TableFieldDefs, Buffer, copy.data()) &&
      std::memcmp(Buffer + RecordDataSize, copy.data() + RecordDataSize,
                  static_cast<size_t>(CompareSize - RecordDataSize)) == 0;
  copy.PutBack();
  if (!unchanged) return crDeleteRecordChanged;
  return tableData_->DeleteRecord(*this) ? crOK : crDeleteFailed;
}

// ---- Cancel ---------------------------------------------------------------------------------

void TQDXLocalCursor::CancelRecord(bool wasInsert) {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  ResultMessage.clear();
  FreeBlobs(true);
  // The buffer's BLOB values, changed ones included, are dropped with the change.
  if (Buffer != nullptr) table.FreeBlobCaches(Buffer);
  TQDXDiskTableLocks* locks = SharedLocks();
  if (locks != nullptr && !wasInsert) {
    locks->UnlockRecord(SessionID(), Bookmark(Buffer));
    if (!InTransaction()) locks->UnlockTable(SessionID(), TQDXTableLockKind::Edit, false, true);
  }
  ResultCode = crOK;
}

bool TQDXLocalCursor::IsRecordLocked() {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  TQDXDiskTableLocks* locks = SharedLocks();
  return locks != nullptr && locks->IsRecordLocked(SessionID(), Bookmark(Buffer));
}

bool TQDXLocalCursor::LockTable(TQDXTableLockKind kind, int32_t tries, bool editFlag,
                                uint32_t pauseMs) {
  TQDXTableData& table = Table(msg::kLockTableNoData);
  DatabaseSection section(table.Database());
  TQDXDiskTableLocks* locks = DiskLocks();
  return locks == nullptr || locks->LockTable(SessionID(), kind, editFlag, false, pauseMs, tries);
}

bool TQDXLocalCursor::UnlockTable(TQDXTableLockKind kind, bool onlyIfHeld) {
  TQDXTableData& table = Table(msg::kUnlockTableNoData);
  DatabaseSection section(table.Database());
  TQDXDiskTableLocks* locks = DiskLocks();
  return locks == nullptr || locks->UnlockTable(SessionID(), kind, false, onlyIfHeld);
}

}  // namespace qdx
