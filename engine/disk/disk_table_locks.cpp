#include "engine/disk/disk_table_locks.h"

#include <optional>

#include "engine/disk/disk_database_data.h"
#include "engine/disk/table_lock_manager.h"

namespace qdx {

namespace {

// The table pages cache counts the kinds under which no other process can change the table.
std::optional<TQDXTableLockUse> CountedUse(TQDXTableLockKind kind) {
  if (kind == TQDXTableLockKind::Read) return TQDXTableLockUse::Read;
  if (kind == TQDXTableLockKind::Commit) return TQDXTableLockUse::Write;
  return std::nullopt;
}

}  // namespace

bool TQDXDiskTableLocks::MultiUser() const {
  return database_.MultiUser && database_.TableLockManager() != nullptr;
}

bool TQDXDiskTableLocks::LockTable(int32_t session, TQDXTableLockKind kind, bool editFlag,
                                   bool alreadyInside, uint32_t pauseMs, int32_t tries) {
  if (!MultiUser()) return true;
  if (!database_.TableLockManager()->LockTable(session, kind, editFlag, alreadyInside, pauseMs,
                                               tries, file_)) {
    return false;
  }
  if (const auto use = CountedUse(kind)) {
    database_.PageManager()->TablePagesCache().TableLocked(session, table_, *use);
    // A commit that another process left unfinished is undone before this one reads.
    database_.PageManager()->RecoverBeforeRead();
  }
  return true;
}

bool TQDXDiskTableLocks::UnlockTable(int32_t session, TQDXTableLockKind kind, bool force,
                                     bool onlyIfHeld) {
  if (!MultiUser()) return true;
  if (!database_.TableLockManager()->UnlockTable(session, kind, force, onlyIfHeld, file_))
    return false;
  if (const auto use = CountedUse(kind))
    database_.PageManager()->TablePagesCache().TableUnlocked(session, table_, *use);
  return true;
}

bool TQDXDiskTableLocks::LockRecord(int32_t session, uint32_t pauseMs, int32_t tries,
                                    TQDXRecordID id) {
  if (!MultiUser()) return true;
  return database_.TableLockManager()->LockRecord(session, file_, pauseMs, tries, id);
}

bool TQDXDiskTableLocks::UnlockRecord(int32_t session, TQDXRecordID id) {
  if (!MultiUser()) return true;
  return database_.TableLockManager()->UnlockRecord(session, file_, id);
}

bool TQDXDiskTableLocks::IsRecordLocked(int32_t session, TQDXRecordID id) {
  if (!MultiUser()) return false;
  return database_.TableLockManager()->IsRecordLocked(session, file_, id);
}

}  // namespace qdx
