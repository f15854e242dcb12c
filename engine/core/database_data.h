// TQDXDatabaseData: an open database inside the engine, shared by all sessions of the process
// that name the same file, and TQDXDatabaseDataList, the process-wide list of them.
//
// The virtual operations keep the order of the database data interface; the disk engine
// derives TQDXDiskDatabaseData. Slots 5 to 7 (CreateTableData, FindTableData, GetTableData)
// arrive with the table data objects; the base commit and rollback need the page cache and
// are carried by the disk engine until the page cache lives in the core.
//
// Every operation runs under the object's critical section (EnterDatabase / LeaveDatabase),
// which is re-entrant.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/foundation/platform/critical_section.h"

namespace qdx {

class TQDXBaseSession;

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
  // 8: a new database-wide object ID.
  virtual int32_t NextObjectID() = 0;
  // 9: makes the session's changes permanent.
  virtual void CommitTransaction(int32_t sessionID, bool flush) = 0;
  // 10: drops the session's changes.
  virtual void RollbackTransaction(int32_t sessionID) = 0;
  // 11: makes the written data durable; nothing here.
  virtual void FlushToDisk();

  void EnterDatabase() { lock_.Enter(); }
  void LeaveDatabase() { lock_.Leave(); }
  // Whether GetTableNames lists `name`, ignoring case.
  bool TableExists(std::string_view name);

  const std::string& FileName() const { return fileName_; }
  const std::vector<TQDXBaseSession*>& Sessions() const { return sessions_; }
  bool ReadOnly = false;
  bool MultiUser = false;

 protected:
  platform::CriticalSection& Lock() { return lock_; }
  // Run by RollbackTransaction after the session's changes were dropped: AfterRollback of every
  // open table data object. Nothing while the database has none.
  virtual void AfterRollback(int32_t /*sessionID*/) {}
  std::vector<TQDXBaseSession*> sessions_;

 private:
  platform::CriticalSection lock_;
  std::string fileName_;
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
