// TQDXDatabaseData: an open database inside the engine, shared by all sessions of the process
// that name the same file, and TQDXDatabaseDataList, the process-wide list of them.
//
// The virtual operations keep the order of the database data interface; the disk engine
// derives TQDXDiskDatabaseData. The database owns its open table data objects (one per table
// that cursors use); an engine creates them in CreateTableData and frees them with
// FreeTableData. Commit and rollback belong to the engines, which run AfterRollback after a
// rollback so that temporary indexes follow the records back.
//
// Every operation runs under the object's critical section (EnterDatabase / LeaveDatabase),
// which is re-entrant.
//
// The lock order. A thread takes locks only in this order, and may skip any; it never waits
// for a lock earlier in the list while it holds a later one:
//  1. The process-wide locks of the dataset layer and the lists: session activation and
//     connection, then the session list, then the database data list's critical section
//     (DatabaseDataList().Lock()), held while a session looks a database up and connects.
//  2. The database's critical section (Lock()). The page manager and the B-tree run only under
//     it and check so in debug builds (TQDXPageManager::AssertDatabaseLockHeld).
//  3. The table lock manager's lock, then the lock bytes in the file, between processes: the
//     session slot file's lock, the tables lock byte and the database lock byte, in that order
//     (disk/database_lock_bytes.h). Lock bytes never wait indefinitely: a lock that stays
//     refused ends in an error.
//  4. The NextObjectID lock byte, taken alone or inside the database lock byte.
//  Leaves: the PPM model's lock and the memory manager's take no other lock while held, so any
//  thread may take them at any point.
// Locks of levels 3 and 4 are held by guards (TQDXDatabaseLockGuard, TQDXObjectIDLockGuard)
// so that an exception path gives them back.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/foundation/platform/critical_section.h"

namespace qdx {

class TQDXBaseSession;
class TQDXTableCursor;
class TQDXTableData;

class TQDXDatabaseData {
 public:
  explicit TQDXDatabaseData(std::string fileName);
  // Leaves the process-wide list when it is there.
  virtual ~TQDXDatabaseData();
  TQDXDatabaseData(const TQDXDatabaseData&) = delete;
  TQDXDatabaseData& operator=(const TQDXDatabaseData&) = delete;

  // 0: appends the session and gives it session ID 0.
  virtual void AddSession(TQDXBaseSession& session);
  // 1: removes the session.
  virtual void RemoveSession(TQDXBaseSession& session);
  // 2: destroys the object (created with new) when no session is left; answers whether it did.
  virtual bool FreeIfUnused();
  // 3: appends the names of the tables.
  virtual void GetTableNames(std::vector<std::string>& names);
  // 4: creates the database's storage; nothing here.
  virtual void CreateDatabase();
  // 5: a new table data object for the cursor's table, registered with AddTableData. An engine
  // without tables answers none, and the cursor reports 20151.
  virtual TQDXTableData* CreateTableData(TQDXTableCursor& cursor);
  // 6: the open table data whose name equals the cursor's table name, ignoring case; none when
  // the table is not open.
  virtual TQDXTableData* FindTableData(const TQDXTableCursor& cursor);
  // 7: FindTableData, else CreateTableData.
  virtual TQDXTableData* GetTableData(TQDXTableCursor& cursor);
  // 8: a new database-wide object ID.
  virtual int32_t NextObjectID() = 0;
  // 9: makes the session's changes permanent.
  virtual void CommitTransaction(int32_t sessionID, bool flush) = 0;
  // 10: drops the session's changes.
  virtual void RollbackTransaction(int32_t sessionID) = 0;
  // 11: makes the written data durable; nothing here.
  virtual void FlushToDisk();

  void EnterDatabase() QDX_ACQUIRE(lock_) { lock_.Enter(); }
  void LeaveDatabase() QDX_RELEASE(lock_) { lock_.Leave(); }
  // The critical section itself, for a guard that holds it over one operation.
  platform::CriticalSection& Lock() QDX_RETURN_CAPABILITY(lock_) { return lock_; }
  // Whether GetTableNames lists `name`, ignoring case.
  bool TableExists(std::string_view name);
  // Destroys an open table data object and forgets it.
  void FreeTableData(TQDXTableData* table);
  const std::vector<std::unique_ptr<TQDXTableData>>& Tables() const { return tables_; }

  const std::string& FileName() const { return fileName_; }
  const std::vector<TQDXBaseSession*>& Sessions() const { return sessions_; }
  bool ReadOnly = false;
  bool MultiUser = false;

 protected:
  // Takes over a new table data object and answers it.
  TQDXTableData* AddTableData(std::unique_ptr<TQDXTableData> table);
  // Destroys every open table data object (before the storage they use goes away).
  void FreeAllTableData();
  // Run by RollbackTransaction after the session's changes were dropped: AfterRollback of every
  // open table data object.
  virtual void AfterRollback(int32_t sessionID);
  std::vector<TQDXBaseSession*> sessions_;

 private:
  platform::CriticalSection lock_;
  std::string fileName_;
  std::vector<std::unique_ptr<TQDXTableData>> tables_;
};

// The database data objects of the process, found by file name. Does not own them.
class TQDXDatabaseDataList {
 public:
  void Add(TQDXDatabaseData* data);
  void Remove(TQDXDatabaseData* data);
  // The object for `fileName`, or null.
  TQDXDatabaseData* Find(std::string_view fileName);
  // Held by a session while it looks an object up and connects to it.
  platform::CriticalSection& Lock() { return lock_; }

 private:
  platform::CriticalSection lock_;
  std::vector<TQDXDatabaseData*> items_;
};

TQDXDatabaseDataList& DatabaseDataList();

}  // namespace qdx
