#include "engine/disk/table_lock_manager.h"

#include <algorithm>
#include <array>

#include "engine/disk/disk_page_manager.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/clock.h"
#include "engine/foundation/platform/random.h"

namespace qdx {

namespace {

using Kind = TQDXTableLockKind;

// Row: the kind another session holds; column: the kind requested. Symmetric.
//
//   | held \ requested | 0 | 1 | 2 | 3 | 4 | 5 | 6 |
//   |------------------|---|---|---|---|---|---|---|
//   | 0 open           | 1 | 1 | 1 | 1 | 1 | 1 | 0 |
//   | 1 read           | 1 | 1 | 1 | 1 | 0 | 1 | 0 |
//   | 2 edit           | 1 | 1 | 1 | 0 | 1 | 1 | 0 |
//   | 3 transaction    | 1 | 1 | 0 | 0 | 0 | 1 | 0 |
//   | 4 commit         | 1 | 0 | 1 | 0 | 0 | 1 | 0 |
//   | 5 records        | 1 | 1 | 1 | 1 | 1 | 1 | 0 |
//   | 6 exclusive      | 0 | 0 | 0 | 0 | 0 | 0 | 0 |
constexpr std::array<std::array<bool, kTableLockKindCount>, kTableLockKindCount> kCompatible = {{
    {1, 1, 1, 1, 1, 1, 0},
    {1, 1, 1, 1, 0, 1, 0},
    {1, 1, 1, 0, 1, 1, 0},
    {1, 1, 0, 0, 0, 1, 0},
    {1, 0, 1, 0, 0, 1, 0},
    {1, 1, 1, 1, 1, 1, 0},
    {0, 0, 0, 0, 0, 0, 0},
}};

Kind KindAt(int index) {
  return static_cast<Kind>(index);
}

}  // namespace

bool AreTableLocksCompatible(Kind held, Kind requested) {
  return kCompatible[static_cast<size_t>(held)][static_cast<size_t>(requested)];
}

bool DoesTableLockCover(Kind holder, Kind covered) {
  for (int other = 0; other < kTableLockKindCount; ++other) {
    if (!AreTableLocksCompatible(KindAt(other), covered) &&
        AreTableLocksCompatible(KindAt(other), holder)) {
      return false;
    }
  }
  return true;
}

// --- TQDXTableLockList -------------------------------------------------------------------------

TQDXTableLockEntry* TQDXTableLockList::Find(Kind kind, int32_t tableKey) {
  const auto it = std::ranges::find_if(entries_, [&](const TQDXTableLockEntry& entry) {
    return entry.Kind == kind && entry.TableKey == tableKey;
  });
  return it == entries_.end() ? nullptr : &*it;
}

const TQDXTableLockEntry* TQDXTableLockList::FindCovering(Kind kind, int32_t tableKey) const {
  const auto it = std::ranges::find_if(entries_, [&](const TQDXTableLockEntry& entry) {
    return entry.TableKey == tableKey && entry.Kind != kind && DoesTableLockCover(entry.Kind, kind);
  });
  return it == entries_.end() ? nullptr : &*it;
}

void TQDXTableLockList::Remove(Kind kind, int32_t tableKey) {
  std::erase_if(entries_, [&](const TQDXTableLockEntry& entry) {
    return entry.Kind == kind && entry.TableKey == tableKey;
  });
}

// --- Guards ------------------------------------------------------------------------------------

// The manager's critical section for one operation, unless the caller holds it already. Pause
// sleeps outside it, so that other sessions can release their locks meanwhile.
class TQDXDatabaseTableLockManager::Section {
 public:
  // Taken only when not held already, which the analysis cannot express.
  Section(platform::CriticalSection& lock, bool alreadyInside) QDX_NO_THREAD_SAFETY_ANALYSIS
      : lock_(lock), owned_(!alreadyInside) {
    if (owned_) lock_.Enter();
  }
  ~Section() QDX_NO_THREAD_SAFETY_ANALYSIS {
    if (owned_) lock_.Leave();
  }
  Section(const Section&) = delete;
  Section& operator=(const Section&) = delete;

  void Pause(uint32_t milliseconds) QDX_NO_THREAD_SAFETY_ANALYSIS {
    if (owned_) lock_.Leave();
    platform::Sleep(milliseconds);
    if (owned_) lock_.Enter();
  }

 private:
  platform::CriticalSection& lock_;
  bool owned_;
};

// The file lock of a lock slot file, tried up to `tries` times `pauseMs` apart and released on
// every path; nothing to take when the session holds it as its exclusive lock (design note 4).
class TQDXDatabaseTableLockManager::FileLock {
 public:
  FileLock(TQDXTableLocksFile& file, bool heldAlready, int32_t tries, uint32_t pauseMs)
      : file_(file), had_(heldAlready) {
    for (int32_t attempt = 0; !had_ && attempt < tries; ++attempt) {
      if (attempt > 0) platform::Sleep(pauseMs);
      taken_ = had_ = file_.LockFile();
    }
  }
  ~FileLock() {
    if (taken_) file_.UnlockFile();
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool Had() const { return had_; }
  // The lock stays after the guard: it has become an exclusive table lock.
  void Keep() { taken_ = false; }

 private:
  TQDXTableLocksFile& file_;
  bool had_;
  bool taken_ = false;
};

namespace {

// Whether the session holds the table's file lock as its exclusive lock.
bool HoldsFileLock(TQDXTableLockList& list, int32_t tableKey) {
  const TQDXTableLockEntry* exclusive = list.Find(Kind::Exclusive, tableKey);
  return exclusive != nullptr && exclusive->InFile;
}

}  // namespace

// --- TQDXDatabaseTableLockManager --------------------------------------------------------------

TQDXDatabaseTableLockManager::TQDXDatabaseTableLockManager(TQDXDiskPageManager& pageManager,
                                                           int32_t slotCount, TQDXLockTiming timing)
    : pageManager_(pageManager), timing_(timing), lists_(std::max(slotCount, 0)) {}

TQDXTableLockList& TQDXDatabaseTableLockManager::List(int32_t session) {
  if (session < 0 || session >= SlotCount()) Raise(msg::kCannotSetTableLockNoSlot);
  return lists_[static_cast<size_t>(session)];
}

template <typename Action>
bool TQDXDatabaseTableLockManager::WithTableFile(int32_t tableKey, Action action) {
  TQDXTableLocksFile file(pageManager_);
  file.Open(tableKey);
  return action(file);
}

bool TQDXDatabaseTableLockManager::IsCompatible(TQDXTableLocksFile& file, int32_t session,
                                                Kind kind, bool editFlag) {
  for (int index = 0; index < kTableLockKindCount; ++index) {
    const Kind held = KindAt(index);
    if (AreTableLocksCompatible(held, kind)) continue;
    // A transaction's edit may join edits outside transactions when its caller says so.
    if (editFlag && kind == Kind::TransactionEdit && held == Kind::Edit) continue;
    if (file.IsKindHeldByOthers(session, held)) return false;
  }
  return true;
}

bool TQDXDatabaseTableLockManager::TryLockInFile(TQDXTableLocksFile& file, int32_t session,
                                                 Kind kind, bool editFlag) {
  FileLock fileLock(file, false, 1, 0);
  if (!fileLock.Had() || !IsCompatible(file, session, kind, editFlag)) return false;
  if (kind == Kind::Exclusive) {
    fileLock.Keep();
    return true;
  }
  if (!file.LockKind(session, kind)) Raise(msg::kCannotSetTableLock);
  return true;
}

bool TQDXDatabaseTableLockManager::LockTable(int32_t session, Kind kind, bool editFlag,
                                             bool alreadyInside, uint32_t pauseMs, int32_t tries,
                                             TQDXTableLocksFile& file) {
  if (pageManager_.Exclusive()) return true;
  Section section(lock_, alreadyInside);
  TQDXTableLockList& list = List(session);
  const int32_t key = file.StartPage();
  if (TQDXTableLockEntry* held = list.Find(kind, key)) {
    // An edit lock is not taken twice: the cursor's edit state is one at a time.
    if (kind == Kind::Edit) return false;
    ++held->Count;
    return true;
  }
  if (list.FindCovering(kind, key) != nullptr) {
    list.Add({kind, key, 1, false, true, {}});
    return true;
  }
  for (int32_t attempt = 0; attempt < tries; ++attempt) {
    if (attempt > 0) section.Pause(pauseMs / 2 + platform::RandomBelow(pauseMs / 2));
    if (TryLockInFile(file, session, kind, editFlag)) {
      list.Add({kind, key, 1, true, editFlag, {}});
      return true;
    }
  }
  return false;
}

bool TQDXDatabaseTableLockManager::PlaceInFile(TQDXTableLocksFile& file, int32_t session,
                                               const TQDXTableLockEntry& entry) {
  // Others compare record IDs only while the byte is locked: the ID goes first.
  if (entry.Kind == Kind::Records) file.WriteRecordID(session, entry.RecordID);
  return file.LockKind(session, entry.Kind);
}

bool TQDXDatabaseTableLockManager::PlaceCoveredLocks(TQDXTableLocksFile& file,
                                                     TQDXTableLockList& list, int32_t session,
                                                     Kind kind) {
  const int32_t key = file.StartPage();
  const auto pending = [&](const TQDXTableLockEntry& entry) {
    return entry.TableKey == key && !entry.InFile && entry.Kind != kind &&
           DoesTableLockCover(kind, entry.Kind);
  };
  if (std::ranges::none_of(list.Entries(), pending)) return true;
  // Releasing the exclusive lock: its file lock is still held until the release.
  const bool fileHeld = kind == Kind::Exclusive || HoldsFileLock(list, key);
  FileLock fileLock(file, fileHeld, pageManager_.LockRetryCount(), pageManager_.LockRetryPause());
  if (!fileLock.Had()) return false;
  bool placed = true;
  for (TQDXTableLockEntry& entry : list.Entries()) {
    if (!pending(entry)) continue;
    entry.InFile = PlaceInFile(file, session, entry);
    placed = placed && entry.InFile;
  }
  return placed;
}

bool TQDXDatabaseTableLockManager::ReleaseInFile(TQDXTableLocksFile& file, TQDXTableLockList& list,
                                                 int32_t session, Kind kind) {
  // An unlock waits for nobody: one try.
  if (kind == Kind::Exclusive) return file.UnlockFile();
  FileLock fileLock(file, HoldsFileLock(list, file.StartPage()), pageManager_.LockRetryCount(),
                    pageManager_.LockRetryPause());
  if (!fileLock.Had()) return false;
  if (!file.UnlockKind(session, kind)) {
    if (kind == Kind::Records) Raise(msg::kCannotUnlockRecord);
    Raise(msg::kCannotUnlockTable);
  }
  return true;
}

template <typename Release>
bool TQDXDatabaseTableLockManager::ReleaseOrKeep(TQDXTableLockList& list,
                                                 TQDXTableLockEntry removed, Release release) {
  // Until its byte is free the lock is still the session's: a later release, or the session's
  // end, must find it in the list, or the byte stays locked for as long as the file is open.
  removed.Count = 1;
  try {
    if (release()) return true;
  } catch (...) {
    list.Add(removed);
    throw;
  }
  list.Add(removed);
  return false;
}

bool TQDXDatabaseTableLockManager::UnlockTable(int32_t session, Kind kind, bool force,
                                               bool onlyIfHeld, TQDXTableLocksFile& file) {
  if (pageManager_.Exclusive()) return true;
  Section section(lock_, false);
  TQDXTableLockList& list = List(session);
  const int32_t key = file.StartPage();
  TQDXTableLockEntry* entry = list.Find(kind, key);
  if (entry == nullptr) {
    if (onlyIfHeld) return true;
    Raise(msg::kTableLockNotFound);
  }
  if (--entry->Count > 0 && !force) return true;
  TQDXTableLockEntry removed = *entry;
  list.Remove(kind, key);
  if (!removed.InFile) return true;
  // The locks this one covered go into the file before its byte is unlocked: other processes
  // never see the session without them.
  return ReleaseOrKeep(list, removed, [&] {
    return PlaceCoveredLocks(file, list, session, kind) && ReleaseInFile(file, list, session, kind);
  });
}

bool TQDXDatabaseTableLockManager::LockRecord(int32_t session, TQDXTableLocksFile& file,
                                              uint32_t pauseMs, int32_t tries, TQDXRecordID id) {
  Section section(lock_, false);
  TQDXTableLockList& list = List(session);
  const int32_t key = file.StartPage();
  if (list.Holds(Kind::Records, key)) return false;
  // Nobody else can edit the table: the lock needs no byte until the covering lock goes.
  const TQDXTableLockEntry* transaction = list.Find(Kind::TransactionEdit, key);
  if (list.Holds(Kind::Exclusive, key) || (transaction != nullptr && !transaction->EditFlag)) {
    list.Add({Kind::Records, key, 1, false, false, id});
    return true;
  }
  const uint32_t start = platform::GetTickCount();
  const uint64_t budget =
      static_cast<uint64_t>(pauseMs) * static_cast<uint64_t>(std::max(tries, 0));
  for (int32_t attempt = 0; attempt < tries; ++attempt) {
    if (attempt > 0) {
      if (static_cast<uint32_t>(platform::GetTickCount() - start) >= budget) break;
      section.Pause(pauseMs);
    }
    FileLock fileLock(file, false, 1, 0);
    if (!fileLock.Had() || file.IsRecordLockedByOthers(session, id)) continue;
    file.WriteRecordID(session, id);
    if (!file.LockKind(session, Kind::Records)) Raise(msg::kCannotLockRecord);
    list.Add({Kind::Records, key, 1, true, false, id});
    return true;
  }
  return false;
}

bool TQDXDatabaseTableLockManager::UnlockRecord(int32_t session, TQDXTableLocksFile& file,
                                                TQDXRecordID) {
  Section section(lock_, false);
  TQDXTableLockList& list = List(session);
  const int32_t key = file.StartPage();
  TQDXTableLockEntry* entry = list.Find(Kind::Records, key);
  if (entry == nullptr) return false;
  if (--entry->Count > 0) return true;
  const TQDXTableLockEntry removed = *entry;
  list.Remove(Kind::Records, key);
  if (!removed.InFile) return true;
  return ReleaseOrKeep(list, removed,
                       [&] { return ReleaseInFile(file, list, session, Kind::Records); });
}

bool TQDXDatabaseTableLockManager::IsRecordLocked(int32_t session, TQDXTableLocksFile& file,
                                                  TQDXRecordID id) {
  Section section(lock_, false);
  TQDXTableLockList& list = List(session);
  // Testing a byte means trying to lock it; under the file lock that can never make another
  // process's record lock fail.
  FileLock fileLock(file, HoldsFileLock(list, file.StartPage()), pageManager_.LockRetryCount(),
                    pageManager_.LockRetryPause());
  return !fileLock.Had() || file.IsRecordLockedByOthers(session, id);
}

bool TQDXDatabaseTableLockManager::LockModifiedTables(int32_t session) {
  Section section(lock_, false);
  if (session < 0 || session >= SlotCount()) return true;
  TQDXTableLockList& list = List(session);
  bool locked = true;
  for (const TQDXTableLockEntry& entry : list.Snapshot()) {
    if (entry.Kind != Kind::TransactionEdit) continue;
    if (list.Holds(Kind::Commit, entry.TableKey) ||
        list.FindCovering(Kind::Commit, entry.TableKey) != nullptr) {
      continue;
    }
    locked = WithTableFile(entry.TableKey, [&](TQDXTableLocksFile& file) {
      return LockTable(session, Kind::Commit, true, true, timing_.CommitPauseMs,
                       timing_.CommitTries, file);
    });
    if (!locked) break;
  }
  if (locked) return true;
  for (const TQDXTableLockEntry& entry : list.Snapshot()) {
    if (entry.Kind != Kind::Commit) continue;
    WithTableFile(entry.TableKey, [&](TQDXTableLocksFile& file) {
      return UnlockTable(session, Kind::Commit, false, false, file);
    });
  }
  if (std::ranges::any_of(list.Entries(), [](const TQDXTableLockEntry& entry) {
        return entry.Kind == Kind::Commit;
      })) {
    Raise(msg::kCommitLocksLeft);
  }
  return false;
}

bool TQDXDatabaseTableLockManager::ReleaseTransactionLocks(int32_t session) {
  Section section(lock_, false);
  if (session < 0 || session >= SlotCount()) return true;
  TQDXTableLockList& list = List(session);
  // Record locks outlive the transaction; the edit lock keeps their tables editable for the
  // session once the transaction's locks are gone.
  for (const TQDXTableLockEntry& entry : list.Snapshot()) {
    if (entry.Kind != Kind::Records || list.Holds(Kind::Edit, entry.TableKey)) continue;
    const bool locked = WithTableFile(entry.TableKey, [&](TQDXTableLocksFile& file) {
      return LockTable(session, Kind::Edit, true, true, timing_.CommitPauseMs, timing_.CommitTries,
                       file);
    });
    if (!locked) return false;
  }
  bool released = true;
  for (const TQDXTableLockEntry& entry : list.Snapshot()) {
    if (entry.Kind != Kind::TransactionEdit && entry.Kind != Kind::Commit) continue;
    released = WithTableFile(entry.TableKey,
                             [&](TQDXTableLocksFile& file) {
                               return UnlockTable(session, entry.Kind, true, false, file);
                             }) &&
               released;
  }
  return released;
}

void TQDXDatabaseTableLockManager::EndSession(int32_t session) {
  Section section(lock_, false);
  if (session < 0 || session >= SlotCount()) return;
  TQDXTableLockList& list = List(session);
  if (list.Empty()) return;
  const std::vector<TQDXTableLockEntry> left = list.Snapshot();
  list.Clear();
  // The bytes are freed so that the next session of this number does not inherit them.
  for (const TQDXTableLockEntry& entry : left) {
    if (!entry.InFile) continue;
    try {
      WithTableFile(entry.TableKey, [&](TQDXTableLocksFile& file) {
        return entry.Kind == Kind::Exclusive ? file.UnlockFile()
                                             : file.UnlockKind(session, entry.Kind);
      });
    } catch (const EQDXException&) {  // the bytes go with the file handle at the latest
    }
  }
  Raise(msg::kTableLocksLeftBySession);
}

std::vector<TQDXTableLockEntry> TQDXDatabaseTableLockManager::Locks(int32_t session) {
  Section section(lock_, false);
  return List(session).Snapshot();
}

}  // namespace qdx
