// TQDXLocalSession: the engine session of a database opened inside this process.
//
// A database component owns one. The session connects to the shared database data object of
// its identity (the file name and the session name; "MEMORY" and "TEMP" name the in-memory and
// the temporary database), creating a disk database data object for a file that no session of
// the process has open yet, checks the password, and then carries the session ID, the
// transaction state and the per-session named objects (the last autoinc values) that its
// cursors use. The engine core's TQDXBaseSession holds what the table data reads of a session;
// this class adds the connection members and the session operations in their slot order.
//
// The in-memory and temporary databases have no engine of their own here: a session connects
// to one only when such a database data object was put into the process-wide list (tests do);
// otherwise connecting fails with 20007.
//
// A session is used by one thread at a time. Connecting and disconnecting hold the lock of the
// process-wide list of database data objects (lock order: engine/core/database_data.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/local_engine/lock_timing.h"
#include "engine/core/base_session.h"
#include "engine/core/meta_object_def.h"

namespace qdx {

class TQDXDatabaseData;

// The database names that select the in-memory and the temporary database.
inline constexpr std::string_view kMemoryDatabaseName = "MEMORY";
inline constexpr std::string_view kTemporaryDatabaseName = "TEMP";

// Database names are compared without regard to case ("memory" is the in-memory database too).
inline bool SameDatabaseName(std::string_view a, std::string_view b) {
  return SameNameIgnoringCase(a, b);
}

class TQDXLocalSession : public TQDXBaseSession {
 public:
  static constexpr int32_t kDefaultMaxConnections = 500;
  static constexpr int32_t kDefaultPageSize = 4096;
  static constexpr int32_t kDefaultPagesPerExtent = 8;

  TQDXLocalSession() = default;
  // Disconnects; a failure to disconnect is swallowed here (call SetConnected(false) to see it).
  ~TQDXLocalSession() override;

  // ---- Session operations, in slot order (9 to 12, the named objects, are the base's) ---------
  // 0: a database data object is attached.
  virtual bool IsConnected() const { return databaseData_ != nullptr; }
  // 1: connects (find or create the database data, AddSession, read-only, password check) or
  // disconnects (RemoveSession; the last session frees a disk database data object). Nothing
  // when already in that state. 20298 for a wrong password of a protected database that another
  // session opened; 20007 for "MEMORY" or "TEMP" without their engine.
  virtual void SetConnected(bool connected);
  // 2: the in-transaction flag of the open disk database's free space manager; false otherwise.
  virtual bool GetInTransactionFlag() const;
  // 3: sets that flag; nothing when not connected to an open disk database.
  virtual void SetInTransactionFlag(bool flag);
  // 4: creates the database file through a database data object of its own. 20092 while a
  // database data object of this session's identity exists.
  virtual void CreateDatabase();
  // 5, 6: nothing.
  virtual void OpenDatabase() {}
  virtual void DeleteDatabase(std::string_view /*name*/) {}
  // 7, 8: attach to the database data (find or create, as connecting does), then ask it.
  virtual void GetTableNames(std::vector<std::string>& names);
  virtual bool TableExists(std::string_view name);
  // 13: the session's changes wait for Commit or Rollback.
  virtual void StartTransaction() { InTransaction = true; }
  // 14: CommitTransaction of the database data, then the transaction ends; a commit that fails
  // leaves it open, so that it can be rolled back. 20229 outside a transaction.
  virtual void Commit(bool flush);
  // 15: RollbackTransaction; the transaction ends. 20229 outside a transaction.
  virtual void Rollback();
  // 16: FlushToDisk of the database data.
  virtual void FlushBuffers();

  // ---- Members --------------------------------------------------------------------------------
  // The dataset layer's database name; kMemoryDatabaseName and kTemporaryDatabaseName select
  // the in-memory and the temporary database.
  std::string DatabaseName;
  std::string FileName;
  int32_t MaxConnections = kDefaultMaxConnections;
  // With the file name, the identity of the database data in multi-user mode.
  std::string SessionName;
  // Taken from the database when connected.
  int32_t PageSize = kDefaultPageSize;
  int32_t PagesPerExtent = kDefaultPagesPerExtent;
  // The lock waits of this session's cursors and of the database data it creates.
  LocalLockTiming LockTiming;

  // The connected database data; none when disconnected.
  TQDXDatabaseData* DatabaseData() const { return databaseData_; }
  bool IsMemoryDatabase() const { return SameDatabaseName(DatabaseName, kMemoryDatabaseName); }
  bool IsTemporaryDatabase() const {
    return SameDatabaseName(DatabaseName, kTemporaryDatabaseName);
  }
  // Whether the connected database is stored in a file (the disk engine).
  bool IsDiskDatabase() const;

 private:
  // The database data of this session's identity in the process-wide list, or null. Requires:
  // the list's lock is held.
  TQDXDatabaseData* FindDatabaseData() const;
  // FindDatabaseData, else a new disk database data object added to the list. Requires: the
  // list's lock is held.
  TQDXDatabaseData* FindOrCreateDatabaseData();
  void Connect();
  void Disconnect();
  // Connects for GetTableNames and TableExists when not connected.
  TQDXDatabaseData& Attach();
  // 20229 outside a transaction.
  void RequireTransaction() const;

  TQDXDatabaseData* databaseData_ = nullptr;
};

}  // namespace qdx
