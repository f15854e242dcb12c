// TQDXDiskTableLocks: the table and record locks of one table as its disk table data takes
// them. In multi-user mode each call goes to the database's lock manager with the table's lock
// slot file, and the read and write locks (kinds 1 and 4) are counted in the table pages cache,
// whose per-session version of the table is valid only while such a lock is held. In
// single-user mode nothing is locked: locks answer true and no record counts as locked.
//
// Owned by the disk table data, which owns the lock slot file as well; runs under the database
// data's critical section like every table operation.
#pragma once

#include <cstdint>

#include "engine/core/index.h"
#include "engine/disk/table_locks_file.h"

namespace qdx {

class TQDXDiskDatabaseData;
class TQDXTableData;

class TQDXDiskTableLocks {
 public:
  // `table` is the identity the table pages cache knows the table by.
  TQDXDiskTableLocks(TQDXDiskDatabaseData& database, const TQDXTableData* table,
                     TQDXTableLocksFile& file)
      : database_(database), table_(table), file_(file) {}

  // TQDXDatabaseTableLockManager::LockTable / UnlockTable on this table.
  bool LockTable(int32_t session, TQDXTableLockKind kind, bool editFlag, bool alreadyInside,
                 uint32_t pauseMs, int32_t tries);
  bool UnlockTable(int32_t session, TQDXTableLockKind kind, bool force, bool onlyIfHeld);

  // TQDXDatabaseTableLockManager::LockRecord / UnlockRecord / IsRecordLocked on this table.
  bool LockRecord(int32_t session, uint32_t pauseMs, int32_t tries, TQDXRecordID id);
  bool UnlockRecord(int32_t session, TQDXRecordID id);
  bool IsRecordLocked(int32_t session, TQDXRecordID id);

 private:
  bool MultiUser() const;

  TQDXDiskDatabaseData& database_;
  const TQDXTableData* table_;
  TQDXTableLocksFile& file_;
};

}  // namespace qdx
