// TQDXDatabaseLockBytes: the byte-range locks a database file is shared by, and guards that
// hold them for a scope.
//
// The lock block holds TablesLockByte and DatabaseLockByte; the first byte of the NextObjectID
// slot guards the counter; bytes inside pages are the locks of the session and table lock
// files. Every lock is exclusive and non-waiting (database_file.h); "with retry" tries
// RetryCount times with RetryPause after each failure. The tables lock and the database lock
// nest inside the process by depth counts (a read of the table list may run inside a table
// change that holds the tables lock already, and must not give it back early): only the
// outermost lock and unlock reach the file, and the database lock's unlock
// gives back the byte the lock took even when the layout moved in between (an open locks at
// base offset 0 before it finds where the database starts).
//
// Beside these, every handle of the file holds shared locks on the four share bytes at
// platform::kShareBytesPosition (2^63 - 256, platform/file.h): what it does (reads, writes) and
// what it denies other handles (reading, writing), taken when the file opens. They are the
// share modes of the open (exclusive: deny both; read-only and shared opens: deny nothing;
// the read-only probe of an open denies writing), and they lie so far beyond the last page that
// no lock byte here and no lock byte inside a page can reach them.
//
// The disk page manager owns one and forwards its lock operations to it. Positions come from
// the manager's layout, read anew at each call (an open moves the database inside the file).
//
// Not safe for concurrent use: it runs under its database's critical section.
#pragma once

#include <cstdint>

#include "engine/disk/database_file.h"
#include "engine/disk/database_header.h"
#include "engine/foundation/platform/clock.h"

namespace qdx {

class TQDXDatabaseLockBytes {
 public:
  static constexpr int32_t kRetryCount = 4500;
  static constexpr uint32_t kRetryPauseMs = 20;

  TQDXDatabaseLockBytes(TQDXDatabaseFile& file, const TQDXDatabaseLayout& layout)
      : file_(file), layout_(layout) {}
  TQDXDatabaseLockBytes(const TQDXDatabaseLockBytes&) = delete;
  TQDXDatabaseLockBytes& operator=(const TQDXDatabaseLockBytes&) = delete;

  // Each answers whether the lock was had (or given back); none raises for a lock held
  // elsewhere.
  bool LockTables();
  bool UnlockTables();
  bool LockDatabase();
  bool UnlockDatabase();
  bool LockNextObjectID();
  bool UnlockNextObjectID();
  bool LockPageRegion(int32_t pageNo, int32_t offset, int32_t count);
  bool UnlockPageRegion(int32_t pageNo, int32_t offset, int32_t count);
  bool IsPageRegionLocked(int32_t pageNo, int32_t offset, int32_t count);

  int32_t DatabaseLockDepth() const { return databaseLockDepth_; }
  int32_t TablesLockDepth() const { return tablesLockDepth_; }
  // The file was closed: the system dropped every lock.
  void Forget() {
    databaseLockDepth_ = 0;
    tablesLockDepth_ = 0;
  }

  int32_t RetryCount() const { return retryCount_; }
  uint32_t RetryPause() const { return retryPauseMs_; }
  void SetRetry(int32_t count, uint32_t pauseMs) {
    retryCount_ = count;
    retryPauseMs_ = pauseMs;
  }
  // `tryLock` tried RetryCount times with RetryPause after each failure.
  template <typename TryLock>
  bool WithRetry(TryLock tryLock) const {
    for (int32_t attempt = 0; attempt < retryCount_; ++attempt) {
      if (tryLock()) return true;
      platform::Sleep(retryPauseMs_);
    }
    return false;
  }

 private:
  // The byte at `position` for an outermost lock: still held, or locked now.
  bool HadOrLocked(int64_t position);
  TQDXDatabaseFile& file_;
  const TQDXDatabaseLayout& layout_;
  int32_t databaseLockDepth_ = 0;
  int64_t databaseLockPosition_ = 0;
  int32_t tablesLockDepth_ = 0;
  int32_t retryCount_ = kRetryCount;
  uint32_t retryPauseMs_ = kRetryPauseMs;
};

// Holds one lock byte of the database for the guard's lifetime: the constructor tries to take
// it (once or with retry), the destructor gives it back when it was had. A failure to give it
// back is not reported: the lock goes with the handle at the latest.
template <bool (TQDXDatabaseLockBytes::*Lock)(), bool (TQDXDatabaseLockBytes::*Unlock)()>
class TQDXLockByteGuard {
 public:
  enum class Wait { Once, WithRetry };

  TQDXLockByteGuard(TQDXDatabaseLockBytes& locks, Wait wait) : locks_(locks) {
    held_ = wait == Wait::Once ? (locks_.*Lock)()
                               : locks_.WithRetry([this] { return (locks_.*Lock)(); });
  }
  ~TQDXLockByteGuard() {
    if (!held_) return;
    try {
      (locks_.*Unlock)();
    } catch (...) {  // a closed or lost file holds no lock
    }
  }
  TQDXLockByteGuard(const TQDXLockByteGuard&) = delete;
  TQDXLockByteGuard& operator=(const TQDXLockByteGuard&) = delete;

  // Whether the lock was had.
  bool Held() const { return held_; }

 private:
  TQDXDatabaseLockBytes& locks_;
  bool held_ = false;
};

// The database lock and the tables lock (both nested by depth) and the NextObjectID counter's
// lock byte.
using TQDXDatabaseLockGuard =
    TQDXLockByteGuard<&TQDXDatabaseLockBytes::LockDatabase, &TQDXDatabaseLockBytes::UnlockDatabase>;
using TQDXTablesLockGuard =
    TQDXLockByteGuard<&TQDXDatabaseLockBytes::LockTables, &TQDXDatabaseLockBytes::UnlockTables>;
using TQDXObjectIDLockGuard = TQDXLockByteGuard<&TQDXDatabaseLockBytes::LockNextObjectID,
                                                &TQDXDatabaseLockBytes::UnlockNextObjectID>;

}  // namespace qdx
