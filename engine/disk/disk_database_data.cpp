#include "engine/disk/disk_database_data.h"

#include <algorithm>
#include <exception>

#include "engine/core/base_session.h"
#include "engine/core/table_cursor.h"
#include "engine/disk/database_file.h"
#include "engine/disk/disk_table_data.h"
#include "engine/disk/free_space_manager.h"
#include "engine/foundation/cipher/engine_cipher.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/clock.h"
#include "engine/foundation/platform/file.h"

namespace qdx {

TQDXDiskDatabaseData::TQDXDiskDatabaseData(std::string fileName, platform::FileSystem* fileSystem)
    : TQDXDatabaseData(std::move(fileName)), fileSystem_(fileSystem) {}

TQDXDiskDatabaseData::~TQDXDiskDatabaseData() {
  CloseDatabase();
}

std::unique_ptr<TQDXDiskPageManager> TQDXDiskDatabaseData::NewPageManager() {
  auto manager = std::make_unique<TQDXDiskPageManager>();
  manager->UseDatabaseLock(Lock());
  manager->UseFileSystem(fileSystem_);
  if (LockRetryCount > 0) manager->SetLockRetry(LockRetryCount, LockRetryPause);
  return manager;
}

void TQDXDiskDatabaseData::CreateDatabase() {
  platform::CriticalSectionGuard guard(Lock());
  std::unique_ptr<TQDXDiskPageManager> manager = NewPageManager();
  manager->CreateDatabaseFile(FileName(), Password, PagesPerExtent, PageSize);
  try {
    TQDXSystemDirectory directory(*manager);
    directory.Create();
    TQDXActiveSessionsFile sessions(*manager);
    directory.AddEntry(kSessionsFileKind, sessions.Create(MaxConnections));
    TQDXTableListFile tableList(*manager);
    directory.AddEntry(kTableListFileKind, tableList.Create());
    directory.Save();
    manager->ApplyChanges(kSystemSessionID);
  } catch (...) {
    // A half-made database is worse than none: it would be refused, or taken for a database.
    manager->CloseDatabaseFile();
    platform::DeleteFile(manager->FileSystemInUse(), FileName());
    throw;
  }
  manager->CloseDatabaseFile();
}

void TQDXDiskDatabaseData::OpenDatabase(TQDXBaseSession& session) {
  std::unique_ptr<TQDXDiskPageManager> manager = NewPageManager();
  bool multiUser = session.MultiUser();
  readOnlyAsked_ = ReadOnly;
  bool readOnly = ReadOnly || session.ReadOnly;
  bool repairNeeded = false;
  manager->OpenDatabaseFile(FileName(), session.Password, multiUser, session.Exclusive,
                            repairNeeded, readOnly);
  session.RepairNeeded = repairNeeded;
  MultiUser = multiUser;
  ReadOnly = readOnly;
  pageManager_ = std::move(manager);
  try {
    Password = pageManager_->GetPassword();
    PageSize = pageManager_->Header().PageSize;
    PagesPerExtent = pageManager_->Header().PagesPerExtent;

    systemDirectory_ = std::make_unique<TQDXSystemDirectory>(*pageManager_);
    systemDirectory_->Load();
    sessionsFile_ = std::make_unique<TQDXActiveSessionsFile>(*pageManager_);
    sessionsFile_->Open(systemDirectory_->FindEntry(kSessionsFileKind));
    MaxConnections = sessionsFile_->SlotCount();
    lockManager_ =
        std::make_unique<TQDXDatabaseTableLockManager>(*pageManager_, MaxConnections, LockTiming);
    tableList_ = std::make_unique<TQDXTableListFile>(*pageManager_);
    tableList_->Open(systemDirectory_->FindEntry(kTableListFileKind));
    LoadTableList();
  } catch (...) {
    CloseDatabase();
    throw;
  }
}

void TQDXDiskDatabaseData::CloseDatabase() noexcept {
  // The tables use the page manager and the table list: they go first.
  FreeAllTableData();
  systemDirectory_.reset();
  tableList_.reset();
  sessionsFile_.reset();
  lockManager_.reset();
  allSlotsLocked_ = false;
  if (pageManager_) {
    ReadOnly = readOnlyAsked_;
    try {
      pageManager_->CloseDatabaseFile();
    } catch (...) {  // closing cannot be refused; the handle is gone either way
    }
    pageManager_.reset();
    // Ciphers keyed with this database's password, and the copies of it they keep, go with
    // the connection rather than living as long as the threads that coded its pages.
    ClearCipherCache();
  }
}

void TQDXDiskDatabaseData::ConnectSession(TQDXBaseSession& session) {
  if (MultiUser) {
    session.SetSessionID(sessionsFile_->Connect());
    return;
  }
  session.SetSessionID(0);
  if (!allSlotsLocked_) {
    allSlotsLocked_ = sessionsFile_->LockAllSlots();
    // Another process is connected: this one may only read, and its file says so too.
    if (!allSlotsLocked_) {
      ReadOnly = true;
      pageManager_->ReopenReadOnly();
    }
  }
}

void TQDXDiskDatabaseData::AddSession(TQDXBaseSession& session) {
  platform::CriticalSectionGuard guard(Lock());
  const bool first = !IsOpen();
  if (first) {
    OpenDatabase(session);
    session.SetMultiUser(MultiUser);
  } else if (session.MultiUser() != MultiUser) {
    Raise(msg::kMixedUserModes);
  }
  try {
    ConnectSession(session);
  } catch (...) {
    if (first && sessions_.empty()) CloseDatabase();
    throw;
  }
  sessions_.push_back(&session);
}

void TQDXDiskDatabaseData::DisconnectSession(TQDXBaseSession& session, bool last) {
  if (MultiUser) {
    // The slot is given back even when the session left locks behind (20201).
    std::exception_ptr locksLeft;
    try {
      lockManager_->EndSession(session.SessionID());
    } catch (...) {
      locksLeft = std::current_exception();
    }
    sessionsFile_->Disconnect(session.SessionID());
    if (locksLeft) std::rethrow_exception(locksLeft);
  } else if (last && allSlotsLocked_) {
    sessionsFile_->UnlockAllSlots();
    allSlotsLocked_ = false;
  }
}

void TQDXDiskDatabaseData::RemoveSession(TQDXBaseSession& session) {
  platform::CriticalSectionGuard guard(Lock());
  const auto it = std::ranges::find(sessions_, &session);
  if (it == sessions_.end()) return;
  sessions_.erase(it);
  const bool last = sessions_.empty();
  if (IsOpen()) {
    try {
      DisconnectSession(session, last);
    } catch (...) {
      if (!QDXDesignTimeMode()) {
        if (last) CloseDatabase();
        throw;
      }
    }
  }
  if (!last || !IsOpen()) return;
  if (pageManager_->FreeSpaceManager() != nullptr &&
      pageManager_->FreeSpaceManager()->InTransaction &&
      pageManager_->HasPendingChanges(session.SessionID())) {
    try {
      pageManager_->CancelChanges(session.SessionID());
    } catch (...) {  // the pages go with the manager anyway
    }
  }
  CloseDatabase();
}

TQDXDiskPageManager& TQDXDiskDatabaseData::OpenManager() const {
  if (pageManager_ == nullptr) Raise(msg::kDatabaseNotOpen);
  return *pageManager_;
}

void TQDXDiskDatabaseData::RequireTableList() const {
  if (tableList_ == nullptr) Raise(msg::kDatabaseNotOpen);
}

TQDXTableListFile& TQDXDiskDatabaseData::OpenTableList(TableListUse use) const {
  if (tableList_ == nullptr) {
    switch (use) {
      case TableListUse::Add:
        Raise(msg::kTableListAddNil);
      case TableListUse::Find:
        Raise(msg::kTableListFindNil);
      case TableListUse::Change:
        break;
    }
    Raise(msg::kDatabaseNotOpen);
  }
  return *tableList_;
}

void TQDXDiskDatabaseData::AddTableToList(int32_t tableID, std::string_view name,
                                          int32_t locksStartPage, int32_t mostUpdatedStartPage,
                                          int32_t metadataStartPage) {
  platform::CriticalSectionGuard guard(Lock());
  TQDXTableListFile& list = OpenTableList(TableListUse::Add);
  list.AddTable(tableID, name, locksStartPage, mostUpdatedStartPage, metadataStartPage);
  list.Save();
}

TQDXTableListFile::TableInfo TQDXDiskDatabaseData::FindTableInList(std::string_view name) {
  platform::CriticalSectionGuard guard(Lock());
  return OpenTableList(TableListUse::Find).FindTable(name);
}

void TQDXDiskDatabaseData::DeleteTableFromList(std::string_view name) {
  platform::CriticalSectionGuard guard(Lock());
  TQDXTableListFile& list = OpenTableList(TableListUse::Change);
  list.DeleteTable(name);
  list.Save();
}

void TQDXDiskDatabaseData::RenameTableInList(std::string_view oldName, std::string_view newName) {
  platform::CriticalSectionGuard guard(Lock());
  TQDXTableListFile& list = OpenTableList(TableListUse::Change);
  list.RenameTable(oldName, newName);
  list.Save();
}

void TQDXDiskDatabaseData::GetTableNames(std::vector<std::string>& names) {
  platform::CriticalSectionGuard guard(Lock());
  RequireTableList();
  LoadTableList();
  names.clear();
  for (const TQDXTableListEntry& entry : tableList_->Entries()) names.push_back(entry.TableName);
}

void TQDXDiskDatabaseData::LoadTableList() {
  if (!MultiUser) {
    tableList_->Load();
    return;
  }
  const TQDXTablesLockGuard lock(pageManager_->LockBytes(), TQDXTablesLockGuard::Wait::WithRetry);
  if (!lock.Held()) Raise(msg::kDatabaseTablesAreLocked);
  tableList_->Load();
}

TQDXTableData* TQDXDiskDatabaseData::CreateTableData(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(Lock());
  OpenManager();
  return AddTableData(std::make_unique<TQDXDiskTableData>(*this, cursor.TableName));
}

int32_t TQDXDiskDatabaseData::NextObjectID() {
  platform::CriticalSectionGuard guard(Lock());
  TQDXDiskPageManager& manager = OpenManager();
  return manager.GetNextObjectID();
}

void TQDXDiskDatabaseData::CommitTransaction(int32_t sessionID, bool flush) {
  platform::CriticalSectionGuard guard(Lock());
  TQDXDiskPageManager& manager = OpenManager();
  // Nothing reaches a read-only file; changes that got this far are refused whole.
  if (ReadOnly && manager.HasPendingChanges(sessionID)) Raise(msg::kDatabaseWriteReadOnly);
  if (MultiUser && !lockManager_->LockModifiedTables(sessionID)) Raise(msg::kCommitLocksFailed);
  // A commit with pages to write flushes itself, in the order its journal needs.
  const bool pending = manager.HasPendingChanges(sessionID);
  manager.CommitChanges(sessionID, flush);
  if (flush && !pending) manager.File().FlushFileBuffers();
  if (MultiUser) lockManager_->ReleaseTransactionLocks(sessionID);
}

void TQDXDiskDatabaseData::RollbackTransaction(int32_t sessionID) {
  platform::CriticalSectionGuard guard(Lock());
  TQDXDiskPageManager& manager = OpenManager();
  if (MultiUser) lockManager_->ReleaseTransactionLocks(sessionID);
  manager.CancelChanges(sessionID);
  AfterRollback(sessionID);
}

void TQDXDiskDatabaseData::FlushToDisk() {
  platform::CriticalSectionGuard guard(Lock());
  TQDXDiskPageManager& manager = OpenManager();
  manager.File().FlushFileBuffers();
}

void TQDXDiskDatabaseData::LockTables() {
  platform::CriticalSectionGuard guard(Lock());
  TQDXDiskPageManager& manager = OpenManager();
  if (manager.LockBytes().WithRetry([&] { return manager.LockTables(); })) return;
  Raise(msg::kDatabaseTablesAreLocked);
}

void TQDXDiskDatabaseData::UnlockTables() {
  platform::CriticalSectionGuard guard(Lock());
  TQDXDiskPageManager& manager = OpenManager();
  if (!manager.UnlockTables()) Raise(msg::kCannotUnlockDatabaseTables);
}

bool TQDXDiskDatabaseData::IsEncrypted() const {
  return pageManager_ != nullptr && pageManager_->IsEncrypted();
}

void TQDXDiskDatabaseData::TruncateFreeTail() {
  platform::CriticalSectionGuard guard(Lock());
  TQDXDiskPageManager& manager = OpenManager();
  if (ReadOnly) Raise(msg::kDatabaseWriteReadOnly);
  manager.TruncateFreeTail();
}

}  // namespace qdx
