// TQDXDiskDatabaseData: a database stored in a file. It creates the file (CreateDatabase), opens
// it when its first session arrives and closes it when its last session leaves, gives sessions
// their numbers (session slots in multi-user mode, 0 in single-user mode), and owns the disk
// page manager, the system directory, the table list and the session slot file.
//
// Sessions of one database data object must all be multi-user or all single-user (20235). A
// single-user database holds every session slot, so multi-user processes cannot connect; when
// another process is connected already, a single-user open becomes read-only.
//
// In multi-user mode the table lock manager keeps the table and record locks of the sessions;
// a commit first takes the commit locks of the tables the transaction modified (20233 when it
// cannot) and drops the transaction's locks after writing, a rollback drops them first. The
// database owns a TQDXDiskTableData for each table a cursor used; they go when it closes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/database_data.h"
#include "engine/disk/active_sessions_file.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/disk/system_directory.h"
#include "engine/disk/table_lock_manager.h"
#include "engine/disk/table_list_file.h"
#include "engine/foundation/cipher/engine_cipher.h"

namespace qdx {

class TQDXDiskDatabaseData : public TQDXDatabaseData {
 public:
  static constexpr int32_t kDefaultMaxConnections = 500;

  // `fileSystem`: where the database's files make their system calls, for a test that gives each
  // database a wrapper of its own; it must outlive the database. Null (the default): the current
  // file system of each call (platform/file_system.h).
  explicit TQDXDiskDatabaseData(std::string fileName, platform::FileSystem* fileSystem = nullptr);
  ~TQDXDiskDatabaseData() override;
  platform::FileSystem* GivenFileSystem() const { return fileSystem_; }

  // 0: opens the database for the first session, then gives the session its number.
  void AddSession(TQDXBaseSession& session) override;
  // 1: frees the session's slot; the last session closes the database.
  void RemoveSession(TQDXBaseSession& session) override;
  // 3: every table of the file, in creation order. 20131 when the database is not open; 20210
  // in multi-user mode when the tables lock stays taken.
  void GetTableNames(std::vector<std::string>& names) override;
  // 4: creates the file with an empty database (FileName, Password, PageSize, PagesPerExtent,
  // MaxConnections). A failure leaves no file behind (an existing one is gone only when the
  // failure came after it was replaced).
  void CreateDatabase() override;
  // 5: a new TQDXDiskTableData for the cursor's table name (the table need not exist yet:
  // CreateTable makes it, RegisterCursor opens it). 20131 when the database is not open.
  TQDXTableData* CreateTableData(TQDXTableCursor& cursor) override;
  // 8 to 11 and the operations below fail with 20131 "Pointer is nil" on a closed database.
  // 8: the page manager's next object ID.
  int32_t NextObjectID() override;
  // 9: writes the session's pages; with `flush`, makes them durable. Multi-user: 20233 when
  // the commit locks of the modified tables cannot be had (nothing is written then).
  void CommitTransaction(int32_t sessionID, bool flush) override;
  // 10: drops the session's pages and (multi-user) its transaction locks.
  void RollbackTransaction(int32_t sessionID) override;
  // 11: makes the written data durable.
  void FlushToDisk() override;

  // The tables lock between processes, waited for as every lock with retry. 20210 / 20211.
  void LockTables();
  void UnlockTables();
  bool IsEncrypted() const;
  void TruncateFreeTail();

  bool IsOpen() const { return pageManager_ != nullptr; }
  // Null while the database is closed.
  TQDXDiskPageManager* PageManager() const { return pageManager_.get(); }
  TQDXSystemDirectory* SystemDirectory() const { return systemDirectory_.get(); }
  TQDXTableListFile* TableList() const { return tableList_.get(); }
  // The table list of the open database, for adding a table (20129 "Pointer is nil" when no
  // list is open), finding one (20130), or deleting or renaming one (20131).
  enum class TableListUse { Add, Find, Change };
  TQDXTableListFile& OpenTableList(TableListUse use) const;
  // The changes of the table list, each under the critical section, each saving the list.
  void AddTableToList(int32_t tableID, std::string_view name, int32_t locksStartPage,
                      int32_t mostUpdatedStartPage, int32_t metadataStartPage);
  TQDXTableListFile::TableInfo FindTableInList(std::string_view name);
  void DeleteTableFromList(std::string_view name);
  void RenameTableInList(std::string_view oldName, std::string_view newName);
  TQDXActiveSessionsFile* SessionsFile() const { return sessionsFile_.get(); }
  TQDXDatabaseTableLockManager* TableLockManager() const { return lockManager_.get(); }
  // This process holds every session slot (single-user mode).
  bool AllSlotsLocked() const { return allSlotsLocked_; }

  // Settings for CreateDatabase; taken from the file when it is opened.
  TQDXPassword Password;
  uint16_t PageSize = kDefaultPageSize;
  uint16_t PagesPerExtent = kDefaultPagesPerExtent;
  int32_t MaxConnections = kDefaultMaxConnections;
  // Lock waits of the page manager made here (tests shorten them); 0 keeps the defaults.
  int32_t LockRetryCount = 0;
  uint32_t LockRetryPause = 0;
  // Waits of the commit locks given to the table lock manager at open (tests shorten them).
  TQDXLockTiming LockTiming;
  // Tries of a read table lock in multi-user mode, 20 to 39 ms apart (tests shorten them).
  int32_t ReadLockTries = 2250;

 private:
  // A page manager whose callers hold this database's critical section.
  std::unique_ptr<TQDXDiskPageManager> NewPageManager();
  // Those marked QDX_REQUIRES run under the database's critical section; clang checks the callers.
  void OpenDatabase(TQDXBaseSession& session) QDX_REQUIRES(Lock());
  // Frees everything the open made, without raising.
  void CloseDatabase() noexcept;
  void ConnectSession(TQDXBaseSession& session) QDX_REQUIRES(Lock());
  void DisconnectSession(TQDXBaseSession& session, bool last) QDX_REQUIRES(Lock());
  void RequireTableList() const;
  // Reads the table list afresh. In multi-user mode another process's commit may be rewriting
  // it page by page: the read waits for the tables lock, which every writer of the list holds to
  // the end of its commit, so the list is seen whole, as it was or as it became (20210 when the
  // lock stays taken).
  void LoadTableList() QDX_REQUIRES(Lock());
  // The page manager of the open database; 20131 "Pointer is nil" when closed.
  TQDXDiskPageManager& OpenManager() const;

  platform::FileSystem* fileSystem_ = nullptr;
  std::unique_ptr<TQDXDiskPageManager> pageManager_;
  std::unique_ptr<TQDXSystemDirectory> systemDirectory_;
  std::unique_ptr<TQDXTableListFile> tableList_;
  std::unique_ptr<TQDXActiveSessionsFile> sessionsFile_;
  std::unique_ptr<TQDXDatabaseTableLockManager> lockManager_;
  bool allSlotsLocked_ = false;
  // ReadOnly as it was before the open, restored when the database closes: a read-only state
  // forced by the open ends with it.
  bool readOnlyAsked_ = false;
};

}  // namespace qdx
