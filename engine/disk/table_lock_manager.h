// The table and record locks of one open database in multi-user mode.
//
// TQDXTableLockList is what one session holds; TQDXDatabaseTableLockManager keeps the lists of
// all sessions of the process and the protocol by which they and other processes exclude each
// other through the tables' lock slot files (table_locks_file.h). In single-user mode nothing
// here is used.
//
// Design notes:
//  1. Compatibility. A lock of kind k is granted to session s when no other session (of any
//     process) holds a kind i that the matrix below marks incompatible with k. One exemption:
//     a kind-3 request with the edit flag set ignores kind 2 held by others.
//  2. Covering. Kind A covers kind B when every kind incompatible with B is incompatible with A
//     too (6 covers all; 3 and 4 cover 0, 1, 2, 5; 1 and 2 cover 0 and 5; 0 and 5 each other).
//     A session asking for a kind it already covers gets an entry that is not placed in the
//     file; when the covering lock is released, such entries are placed in the file first, so
//     other processes never see a gap.
//  3. Atomicity. Between processes, the file lock of a lock slot file makes the compatibility
//     test and the locking of the kind byte one step; every kind byte and record byte is locked
//     and unlocked only under it. Inside the process the manager's critical section serialises
//     all bookkeeping; it is left while a lock request sleeps between tries, unless the caller
//     said it is already inside.
//  4. The exclusive kind 6 is the file lock itself: while a session holds it, its own other
//     locks on that table are locked and unlocked without taking the file lock again.
//  5. Waits. Requests wait as their callers say (pause, tries). Unlocking and placing covered
//     locks wait as every lock with retry (the page manager's LockRetryCount × LockRetryPause,
//     4500 × 20 ms). The commit locks wait TQDXLockTiming's CommitTries × CommitPauseMs
//     (900 × 100 ms).
//  6. A kind-5 entry carries its record ID, so that a record lock taken under a covering lock
//     is placed in the file with its ID when the covering lock goes.
//
// A table is identified by its key, the first page of its lock slot file.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/index.h"
#include "engine/disk/table_locks_file.h"
#include "engine/foundation/platform/critical_section.h"

namespace qdx {

class TQDXDiskPageManager;

// Whether a lock of kind `requested` may be granted while another session holds `held`.
bool AreTableLocksCompatible(TQDXTableLockKind held, TQDXTableLockKind requested);
// Whether holding `holder` excludes every other session that holding `covered` excludes.
bool DoesTableLockCover(TQDXTableLockKind holder, TQDXTableLockKind covered);

// One lock of one session on one table.
struct TQDXTableLockEntry {
  TQDXTableLockKind Kind = TQDXTableLockKind::Open;
  int32_t TableKey = -1;
  int32_t Count = 0;
  bool InFile = false;    // placed in the lock slot file
  bool EditFlag = false;  // the exemption flag given when it was taken
  TQDXRecordID RecordID;  // kind 5 only
};

// The locks one session holds. Not safe for concurrent use: the manager's critical section
// guards it.
class TQDXTableLockList {
 public:
  TQDXTableLockEntry* Find(TQDXTableLockKind kind, int32_t tableKey);
  bool Holds(TQDXTableLockKind kind, int32_t tableKey) { return Find(kind, tableKey) != nullptr; }
  // An entry of another kind on the table that covers `kind`, or null.
  const TQDXTableLockEntry* FindCovering(TQDXTableLockKind kind, int32_t tableKey) const;
  void Add(const TQDXTableLockEntry& entry) { entries_.push_back(entry); }
  void Remove(TQDXTableLockKind kind, int32_t tableKey);
  // Copies of the entries, for loops that lock and unlock (and so change the list).
  std::vector<TQDXTableLockEntry> Snapshot() const { return entries_; }
  std::vector<TQDXTableLockEntry>& Entries() { return entries_; }
  const std::vector<TQDXTableLockEntry>& Entries() const { return entries_; }
  bool Empty() const { return entries_.empty(); }
  void Clear() { entries_.clear(); }

 private:
  std::vector<TQDXTableLockEntry> entries_;
};

// The waits of the commit locks (design note 5); tests shorten them.
struct TQDXLockTiming {
  static constexpr int32_t kCommitTries = 900;
  static constexpr uint32_t kCommitPauseMs = 100;
  int32_t CommitTries = kCommitTries;
  uint32_t CommitPauseMs = kCommitPauseMs;
};

// The lock protocol of one open database. Safe for concurrent use by the sessions of the
// process; each session number is used by one thread at a time.
class TQDXDatabaseTableLockManager {
 public:
  TQDXDatabaseTableLockManager(TQDXDiskPageManager& pageManager, int32_t slotCount,
                               TQDXLockTiming timing = {});
  TQDXDatabaseTableLockManager(const TQDXDatabaseTableLockManager&) = delete;
  TQDXDatabaseTableLockManager& operator=(const TQDXDatabaseTableLockManager&) = delete;

  // Session numbers outside 0 .. SlotCount - 1 fail with 20200 in every operation but
  // LockModifiedTables and ReleaseTransactionLocks (they hold nothing there).
  int32_t SlotCount() const { return static_cast<int32_t>(lists_.size()); }

  // Takes a lock of `kind` on the table of `file`, trying up to `tries` times with a pause of
  // pause div 2 plus a random part below pause div 2 ms after a failed try. A held kind other
  // than 2 is counted again; a held kind 2 answers false. `alreadyInside`: the caller holds the
  // critical section, which is then kept while sleeping. True at once when the database file
  // is open exclusively. 20203 when a kind byte cannot be locked after a compatible test.
  bool LockTable(int32_t session, TQDXTableLockKind kind, bool editFlag, bool alreadyInside,
                 uint32_t pauseMs, int32_t tries, TQDXTableLocksFile& file);
  // Releases one count of a lock (all of it with `force`); the last count unlocks its byte
  // after placing the locks it covered. `onlyIfHeld`: a lock not held answers true, else
  // 20202. False, with the lock kept, when the file lock could not be had; 20204, with the lock
  // kept, when the kind byte cannot be unlocked.
  bool UnlockTable(int32_t session, TQDXTableLockKind kind, bool force, bool onlyIfHeld,
                   TQDXTableLocksFile& file);

  // Locks the record `id`: one record per session and table (a second answers false). Tries
  // up to `tries` times and at most pause × tries ms, sleeping `pauseMs` between tries. 20205
  // when the record byte cannot be locked after the test.
  bool LockRecord(int32_t session, TQDXTableLocksFile& file, uint32_t pauseMs, int32_t tries,
                  TQDXRecordID id);
  // Releases the session's record lock on the table (whatever `id` is); false when it holds
  // none or the file lock could not be had (the lock kept). 20206, with the lock kept, when the
  // byte cannot be unlocked.
  bool UnlockRecord(int32_t session, TQDXTableLocksFile& file, TQDXRecordID id);
  // Whether another session holds a record lock on `id`. Tested under the file lock, so that
  // the test never disturbs another process's locking; true when the file lock cannot be had.
  bool IsRecordLocked(int32_t session, TQDXTableLocksFile& file, TQDXRecordID id);

  // At commit: kind 4 on every table the session modified (holds kind 3 on). False, with the
  // kind-4 locks taken meanwhile released again, when one cannot be had; 20234 when one of
  // them cannot be released.
  bool LockModifiedTables(int32_t session);
  // After commit and before rollback: the session keeps kind 2 on the tables where it holds
  // record locks, and drops every kind 3 and 4. False when a kind-2 lock cannot be had (then
  // nothing is dropped) or a release fails.
  bool ReleaseTransactionLocks(int32_t session);

  // When a session leaves: forgets its locks and frees their bytes. 20201 when it held any
  // (a lock its holder never released).
  void EndSession(int32_t session);

  // The session's locks, for tests and diagnostics.
  std::vector<TQDXTableLockEntry> Locks(int32_t session);

 private:
  class Section;
  class FileLock;

  TQDXTableLockList& List(int32_t session);
  bool IsCompatible(TQDXTableLocksFile& file, int32_t session, TQDXTableLockKind kind,
                    bool editFlag);
  // One try of step "lock in file" of LockTable.
  bool TryLockInFile(TQDXTableLocksFile& file, int32_t session, TQDXTableLockKind kind,
                     bool editFlag);
  // The session's entries on the table covered by `kind` and not in file, placed in it.
  bool PlaceCoveredLocks(TQDXTableLocksFile& file, TQDXTableLockList& list, int32_t session,
                         TQDXTableLockKind kind);
  bool PlaceInFile(TQDXTableLocksFile& file, int32_t session, const TQDXTableLockEntry& entry);
  // Runs `release` for the lock `removed`, taken out of `list`; puts it back (one count) when
  // the release answers false or raises.
  template <typename Release>
  bool ReleaseOrKeep(TQDXTableLockList& list, TQDXTableLockEntry removed, Release release);
  // Unlocks the byte of `kind` (the file lock for kind 6) under the file lock.
  bool ReleaseInFile(TQDXTableLocksFile& file, TQDXTableLockList& list, int32_t session,
                     TQDXTableLockKind kind);
  // Runs `action` on the session's lock slot file of the table `tableKey`, opened for it.
  template <typename Action>
  bool WithTableFile(int32_t tableKey, Action action);

  TQDXDiskPageManager& pageManager_;
  TQDXLockTiming timing_;
  platform::CriticalSection lock_;
  std::vector<TQDXTableLockList> lists_;
};

}  // namespace qdx
