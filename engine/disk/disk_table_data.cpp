// The disk table's life: its managers and files, the table header and metadata, create, open
// (RegisterCursor), close, delete, empty, rename, index and field changes, and the repair-mode
// check. Reading and changing records is in disk_table_access.cpp.
#include "engine/disk/disk_table_data.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "engine/core/btree_record_index.h"
#include "engine/core/database_data.h"
#include "engine/disk/disk_database_data.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/disk/table_header_format.h"
#include "engine/disk/table_metadata_format.h"
#include "engine/foundation/except.h"
#include "engine/foundation/memory_stream.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/random.h"
#include "engine/foundation/scope_guard.h"

namespace qdx {

namespace {

TQDXPageManager& OpenPageManager(TQDXDiskDatabaseData& database) {
  if (database.PageManager() == nullptr) Raise(msg::kDatabaseNotOpen);
  return *database.PageManager();
}

// The tables lock between processes for the length of a scope.
class TablesLock {
 public:
  explicit TablesLock(TQDXDiskDatabaseData& database) : database_(database) {
    database.LockTables();
  }
  ~TablesLock() {
    try {
      database_.UnlockTables();
    } catch (...) {  // the byte goes with the handle at the latest
    }
  }
  TablesLock(const TablesLock&) = delete;
  TablesLock& operator=(const TablesLock&) = delete;

 private:
  TQDXDiskDatabaseData& database_;
};

}  // namespace

TQDXDiskTableData::TQDXDiskTableData(TQDXDiskDatabaseData& database, std::string name)
    : TQDXTableData(database, OpenPageManager(database), std::move(name)), disk_(&database) {}

TQDXDiskTableData::~TQDXDiskTableData() {
  CloseStorage();
}

TQDXDiskPageManager& TQDXDiskTableData::DiskPages() const {
  return static_cast<TQDXDiskPageManager&>(PageManager());
}

bool TQDXDiskTableData::MultiUser() const {
  return disk_->MultiUser;
}

TQDXDiskRecordManager& TQDXDiskTableData::DiskRecords() const {
  if (records_ == nullptr) Raise(msg::kTableNoRecordManager);
  return *records_;
}

// ---- Managers and files ----------------------------------------------------------------------

void TQDXDiskTableData::CreateManagers() {
  SetFieldManager(std::make_unique<TQDXBaseFieldManager>(this));
  SetConstraintManager(std::make_unique<TQDXBaseConstraintManager>(*this));
  // The index manager points into the temporary page manager: it goes first.
  SetIndexManager(nullptr);
  temporaryPages_ = std::make_unique<TQDXTemporaryPageManager>(PageManager().PageSize(),
                                                               Database().Lock());
  SetIndexManager(
      std::make_unique<TQDXBaseIndexManager>(*this, PageManager(), *temporaryPages_));
}

void TQDXDiskTableData::CloseStorage() noexcept {
  // The BLOB manager uses the field manager: it goes first.
  blobs_.reset();
  records_ = nullptr;
  SetRecordManager(nullptr);
  SetIndexManager(nullptr);
  temporaryPages_.reset();
  SetConstraintManager(std::make_unique<TQDXBaseConstraintManager>(*this));
  SetFieldManager(std::make_unique<TQDXBaseFieldManager>(this));
  locks_.reset();
  locksFile_.reset();
  metadataFile_.reset();
  mostUpdatedFile_.reset();
  lockHolders_.clear();
  openedExclusively_ = false;
  headerChangeStamp_ = -1;
}

void TQDXDiskTableData::CreateRecordManager() {
  auto manager = std::make_unique<TQDXDiskRecordManager>(*this, DiskPages(), tableID_);
  manager->Setup(FieldManager().StoredRecordSize());
  records_ = manager.get();
  SetRecordManager(std::move(manager));
}

void TQDXDiskTableData::SetFieldDefs(const TQDXFieldDefs& defs) {
  SetFieldManager(std::make_unique<TQDXBaseFieldManager>(this));
  TQDXTableData::SetFieldDefs(defs);
}

void TQDXDiskTableData::SetIndexDefs(const TQDXIndexDefs& defs) {
  SetIndexManager(nullptr);
  temporaryPages_ = std::make_unique<TQDXTemporaryPageManager>(PageManager().PageSize(),
                                                               Database().Lock());
  SetIndexManager(
      std::make_unique<TQDXBaseIndexManager>(*this, PageManager(), *temporaryPages_));
  TQDXTableData::SetIndexDefs(defs);
}

void TQDXDiskTableData::SetConstraintDefs(const TQDXConstraintDefs& defs) {
  for (int32_t i = 0; i < defs.Count(); ++i) {
    const uint8_t type = defs.GetConstraintDef(i).ConstraintType();
    if (type != ctPrimaryKey && type != ctUnique && type != ctNotNull && type != ctCheck) {
      Raise(msg::kDiskConstraintTypeNotImplemented);
    }
  }
  auto manager = std::make_unique<TQDXBaseConstraintManager>(*this);
  TQDXConstraintDefs& target = manager->ConstraintDefs();
  target.Assign(defs);
  for (int32_t i = 0; i < target.Count(); ++i) {
    auto& constraint = static_cast<TQDXConstraintDefNotNull&>(target.GetConstraintDef(i));
    constraint.SetObjectID(Database().NextObjectID());
    constraint.TableRef.SetName(Name());
  }
  SetConstraintManager(std::move(manager));
  ConstraintManager().ResolveReferences();
  ConstraintManager().GenerateNames();
}

void TQDXDiskTableData::RequireWritable() const {
  if (Database().ReadOnly) Raise(msg::kDatabaseWriteReadOnly);
}

// ---- Table header and metadata ---------------------------------------------------------------

void TQDXDiskTableData::ReadTableHeader(int32_t sessionID) {
  if (mostUpdatedFile_ == nullptr || !mostUpdatedFile_->IsOpen() || records_ == nullptr) {
    Raise(msg::kTableHeaderFileNil);
  }
  TQDXDiskTablePagesCacheManager& cache = DiskPages().TablePagesCache();
  const bool known = cache.HasVersion(sessionID, this);
  const TQDXInternalDBTransactedAccessFile::Info info =
      mostUpdatedFile_->GetInfo(sessionID, /*synchronize=*/!known);
  int32_t size = 0;
  const TQDXMemBlock content = mostUpdatedFile_->ReadAll(sessionID, info.ReadFromDisk, size);
  const TQDXTableHeader header = DecodeTableHeader(
      {content.data(), static_cast<size_t>(std::max(size, 0))}, FieldManager());
  records_->ChangeStamp = header.ChangeStamp;
  records_->RecordCount = header.RecordCount;
  headerChangeStamp_ = header.ChangeStamp;
  if (MultiUser()) cache.SetVersion(sessionID, this, header.ChangeStamp);
}

void TQDXDiskTableData::WriteTableHeader(int32_t sessionID) {
  if (mostUpdatedFile_ == nullptr || !mostUpdatedFile_->IsOpen() || records_ == nullptr) {
    Raise(msg::kTableHeaderFileNil);
  }
  const std::vector<uint8_t> content =
      EncodeTableHeader(FieldManager(), {records_->ChangeStamp, records_->RecordCount});
  mostUpdatedFile_->WriteFile(sessionID, content.data(), 0, 0,
                              static_cast<int32_t>(content.size()));
  headerChangeStamp_ = records_->ChangeStamp;
}

void TQDXDiskTableData::LoadMetadata(int32_t sessionID) {
  int32_t size = 0;
  const TQDXMemBlock content = metadataFile_->ReadAll(sessionID, /*synchronize=*/true, size);
  TQDXMemoryStream stream;
  if (size > 0) stream.Write(content.data(), size);
  stream.SetPosition(0);
  const TQDXTableMetadataPages pages = ReadTableMetadata(
      stream, FieldManager(), IndexManager().IndexDefs(), ConstraintManager().ConstraintDefs());
  CreateRecordManager();
  records_->PageIndex().SetRoot(pages.RecordPageIndexFirstPage);
  blobs_ = std::make_unique<TQDXDiskBlobManager>(PageManager(), FieldManager());
  blobs_->AdoptIndex(pages.BlobPageIndexFirstPage);
}

void TQDXDiskTableData::WriteMetadata(int32_t sessionID) {
  TQDXMemoryStream stream;
  WriteTableMetadata(stream, FieldManager(), IndexManager().IndexDefs(),
                     ConstraintManager().ConstraintDefs(),
                     {DiskRecords().PageIndex().RootPageNo(), Blobs().IndexRootPageNo()});
  metadataFile_->WriteFile(sessionID, stream.Memory(), kMetadataCompressionLevel,
                           kMetadataCompression, stream.Size());
}

// ---- Create ----------------------------------------------------------------------------------

void TQDXDiskTableData::CreateTable(TQDXTableCursor& cursor, const TQDXFieldDefs& fields,
                                    const TQDXConstraintDefs& constraints,
                                    const TQDXIndexDefs& indexes) {
  platform::CriticalSectionGuard guard(Database().Lock());
  RequireWritable();
  if (fields.Count() == 0) Raise(msg::kTableCreateNoFields);
  (void)cursor;  // the table's name came with the cursor when this object was made
  TQDXDiskPageManager& pages = DiskPages();
  TQDXTableListFile& list = disk_->OpenTableList(TQDXDiskDatabaseData::TableListUse::Add);
  TablesLock tables(*disk_);
  if (MultiUser()) list.Load();
  // An open table is one that exists; its storage must stay untouched.
  if (IsOpen() || list.TableExists(Name())) Raise(msg::kCannotCreateExistingTable, {Name()});
  tableID_ = Database().NextObjectID();
  try {
    locksFile_ = std::make_unique<TQDXTableLocksFile>(pages);
    locksFile_->Create(disk_->MaxConnections);
    metadataFile_ = std::make_unique<TQDXInternalDBTransactedAccessFile>(pages, ptTableMetaData);
    metadataFile_->Create(kSystemSessionID);
    mostUpdatedFile_ =
        std::make_unique<TQDXInternalDBTransactedAccessFile>(pages, ptTableMostUpdated);
    mostUpdatedFile_->Create(kSystemSessionID);
    CreateManagers();
    SetFieldDefs(fields);
    SetIndexDefs(indexes);
    SetConstraintDefs(constraints);
    CreateRecordManager();
    blobs_ = std::make_unique<TQDXDiskBlobManager>(PageManager(), FieldManager());

    WriteTableHeader(kSystemSessionID);
    records_->PageIndex().CreateRoot(kSystemSessionID);
    if (FieldManager().HasBlobFields()) blobs_->CreateIndex(kSystemSessionID);
    TQDXIndexDefs& defs = IndexManager().IndexDefs();
    for (int32_t i = 0; i < defs.Count(); ++i) {
      TQDXBTreeRecordIndex index(IndexManager());
      index.Create(nullptr, defs.GetIndexDef(i));
    }
    WriteMetadata(kSystemSessionID);

    disk_->AddTableToList(tableID_, Name(), locksFile_->StartPage(),
                          mostUpdatedFile_->StartPageNo(), metadataFile_->StartPageNo());
    CloseStorage();
    pages.ApplyChanges(kSystemSessionID);
  } catch (...) {
    CloseStorage();
    try {
      pages.CancelChanges(kSystemSessionID);
      list.Load();
    } catch (...) {  // the first failure is the one to report
    }
    throw;
  }
}

// ---- Open and close --------------------------------------------------------------------------

void TQDXDiskTableData::OpenStorage(TQDXTableCursor& cursor) {
  const int32_t sessionID = cursor.SessionID();
  TQDXDiskPageManager& pages = DiskPages();
  // Another process may have created the table since the list was read.
  if (MultiUser()) disk_->OpenTableList(TQDXDiskDatabaseData::TableListUse::Find).Load();
  const TQDXTableListFile::TableInfo info = disk_->FindTableInList(Name());
  tableID_ = info.TableID;
  locksFile_ = std::make_unique<TQDXTableLocksFile>(pages);
  locksFile_->Open(info.LocksStartPage);
  locks_ = std::make_unique<TQDXDiskTableLocks>(*disk_, this, *locksFile_);
  // The definitions are read under the cursor's table lock: another process changes them only
  // under a lock that excludes it.
  LockCursorTable(cursor);
  metadataFile_ = std::make_unique<TQDXInternalDBTransactedAccessFile>(pages, ptTableMetaData);
  metadataFile_->Open(info.MetadataStartPage);
  mostUpdatedFile_ =
      std::make_unique<TQDXInternalDBTransactedAccessFile>(pages, ptTableMostUpdated);
  mostUpdatedFile_->Open(info.MostUpdatedStartPage);
  CreateManagers();
  LoadMetadata(sessionID);
  if (cursor.TableDataFlag == kTableDataFlagRepair) {
    CheckOrRepair(sessionID);
  } else {
    ReadTableHeader(sessionID);
  }
  openedExclusively_ = cursor.Exclusive;
}

void TQDXDiskTableData::CheckOrRepair(int32_t sessionID) {
  try {
    ReadTableHeader(sessionID);
    const int64_t listed = records_->SumPageIndex(sessionID);
    if (listed != records_->RecordCount) {
      Raise(msg::kInvalidRecordPageIndex, {listed, records_->RecordCount});
    }
    return;
  } catch (const EQDXException&) {
    // Repaired below.
  }
  records_->RebuildPageIndex(sessionID, Name());
  WriteMetadata(sessionID);
  mostUpdatedFile_->Reset(sessionID);
  WriteTableHeader(sessionID);
  DiskPages().ApplyChanges(sessionID);
}

bool TQDXDiskTableData::HoldsTableLock(const TQDXTableCursor& cursor) const {
  return std::ranges::any_of(lockHolders_, [&](const auto& h) { return h.first == &cursor; });
}

void TQDXDiskTableData::LockCursorTable(TQDXTableCursor& cursor) {
  const TQDXTableLockKind kind =
      cursor.Exclusive ? TQDXTableLockKind::Exclusive : TQDXTableLockKind::Open;
  const uint32_t pause = 50 + platform::RandomBelow(50);
  if (!locks_->LockTable(cursor.SessionID(), kind, false, false, pause, 50)) {
    if (cursor.Exclusive) Raise(msg::kExclusiveOpenByAnotherUser, {Name()});
    Raise(msg::kCannotOpenLockedTable, {Name()});
  }
  lockHolders_.emplace_back(&cursor, kind);
}

void TQDXDiskTableData::UnlockCursorTable(TQDXTableCursor& cursor) {
  const auto it = std::ranges::find_if(lockHolders_,
                                       [&](const auto& h) { return h.first == &cursor; });
  if (it == lockHolders_.end()) return;
  const TQDXTableLockKind kind = it->second;
  lockHolders_.erase(it);
  if (locks_) locks_->UnlockTable(cursor.SessionID(), kind, false, false);
}

void TQDXDiskTableData::RegisterCursor(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(Database().Lock());
  if (std::ranges::find(Cursors(), &cursor) != Cursors().end()) return;
  std::optional<TablesLock> tables;
  if (!structureChange_) tables.emplace(*disk_);
  if (!Cursors().empty() && cursor.Exclusive && !openedExclusively_) {
    Raise(msg::kExclusiveTableOpenByCursors, {Name()});
  }
  // The first cursor takes its table lock inside the open, before the definitions are read.
  const bool opening = Cursors().empty();
  if (opening) {
    try {
      OpenStorage(cursor);
    } catch (...) {
      ReleaseCursorTable(cursor);
      CloseStorage();
      throw;
    }
  }
  TQDXTableData::RegisterCursor(cursor);
  try {
    if (!opening) LockCursorTable(cursor);
  } catch (...) {
    TQDXTableData::UnregisterCursor(cursor);
    if (Cursors().empty()) CloseStorage();
    throw;
  }
}

void TQDXDiskTableData::ReleaseCursorTable(TQDXTableCursor& cursor) noexcept {
  try {
    UnlockCursorTable(cursor);
  } catch (...) {  // the lock goes with the handle at the latest; the cursor leaves anyway
  }
}

void TQDXDiskTableData::UnregisterCursor(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(Database().Lock());
  if (std::ranges::find(Cursors(), &cursor) == Cursors().end()) return;
  ReleaseCursorTable(cursor);
  TQDXTableData::UnregisterCursor(cursor);
  if (!Cursors().empty()) return;
  // The storage goes either way; BLOB values still held open by a buffer are reported.
  const bool blobsHeld = blobs_ != nullptr && blobs_->CacheEntryCount() > 0;
  CloseStorage();
  if (blobsHeld) Raise(msg::kBlobCacheNotReleased);
}

// ---- Structure changes -----------------------------------------------------------------------

void TQDXDiskTableData::DeleteTable(TQDXTableCursor* cursor, bool forced) {
  platform::CriticalSectionGuard guard(Database().Lock());
  RequireWritable();
  TQDXTableData::DeleteTable(cursor, forced);
  TablesLock tables(*disk_);
  ScopedValue structure(structureChange_, true);
  TQDXTableCursor own;
  own.TableName = Name();
  TQDXTableCursor& user = cursor != nullptr ? *cursor : own;
  ScopedValue exclusive(user.Exclusive, true);
  RegisterCursor(user);
  TQDXDiskPageManager& pages = DiskPages();
  std::exception_ptr failure;
  try {
    TQDXBaseIndexManager& indexes = IndexManager();
    while (indexes.IndexDefs().Count() > 0) {
      indexes.DropIndex(kSystemSessionID, indexes.IndexDefs().GetDef(0).ObjectID());
    }
    Blobs().DeleteValues(kSystemSessionID, *this);
    records_->EmptyRecords(kSystemSessionID);
    records_->PageIndex().DropAll(kSystemSessionID);
    UnlockCursorTable(user);
    locksFile_->Delete();
    metadataFile_->Delete(kSystemSessionID);
    mostUpdatedFile_->Delete(kSystemSessionID);
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    UnregisterCursor(user);
    disk_->DeleteTableFromList(Name());
    pages.ApplyChanges(kSystemSessionID);
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

void TQDXDiskTableData::EmptyTable(TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(Database().Lock());
  RequireWritable();
  const bool registered = std::ranges::find(Cursors(), &cursor) != Cursors().end();
  ScopedValue exclusive(cursor.Exclusive, true);
  if (!registered) RegisterCursor(cursor);
  const int32_t sessionID = cursor.SessionID();
  try {
    TQDXTableData::EmptyTable(cursor);
    Blobs().EmptyValues(sessionID, *this);
    records_->EmptyRecords(sessionID);
    WriteTableHeader(sessionID);
    ApplyChanges(sessionID, cursor.InTransaction());
  } catch (...) {
    if (!registered) UnregisterCursor(cursor);
    throw;
  }
  if (!registered) UnregisterCursor(cursor);
}

void TQDXDiskTableData::RenameTable(std::string_view newName, TQDXTableCursor* cursor) {
  platform::CriticalSectionGuard guard(Database().Lock());
  RequireWritable();
  TablesLock tables(*disk_);
  TQDXTableCursor own;
  own.TableName = Name();
  TQDXTableCursor& user = cursor != nullptr ? *cursor : own;
  ScopedValue exclusive(user.Exclusive, true);
  ScopedValue structure(structureChange_, true);
  // Opening exclusively proves that no other cursor of any process has the table open.
  if (Cursors().empty()) {
    RegisterCursor(user);
    UnregisterCursor(user);
  }
  TQDXTableListFile& list = disk_->OpenTableList(TQDXDiskDatabaseData::TableListUse::Change);
  if (MultiUser()) list.Load();
  // Two tables of one name could never be told apart again.
  if (!SameTableName(Name(), newName) && list.TableExists(newName)) {
    Raise(msg::kCannotCreateExistingTable, {std::string(newName)});
  }
  const std::string oldName = Name();
  TQDXTableData::RenameTable(newName, cursor);
  try {
    disk_->RenameTableInList(oldName, newName);
    DiskPages().ApplyChanges(kSystemSessionID);
  } catch (...) {
    TQDXTableData::RenameTable(oldName, nullptr);
    try {
      DiskPages().CancelChanges(kSystemSessionID);
      list.Load();
    } catch (...) {  // the first failure is the one to report
    }
    throw;
  }
}

void TQDXDiskTableData::RenameField(std::string_view oldName, std::string_view newName) {
  platform::CriticalSectionGuard guard(Database().Lock());
  RequireWritable();
  TQDXTableData::RenameField(oldName, newName);
  WriteMetadata(kSystemSessionID);
  DiskPages().ApplyChanges(kSystemSessionID);
}

int32_t TQDXDiskTableData::AddIndex(const TQDXIndexDef& definition, TQDXTableCursor& cursor) {
  platform::CriticalSectionGuard guard(Database().Lock());
  // A temporary index lives in memory; a read-only database may have one.
  if (!definition.Temporary) RequireWritable();
  const int32_t indexID = TQDXTableData::AddIndex(definition, cursor);
  WriteMetadata(cursor.SessionID());
  ApplyChanges(cursor.SessionID(), cursor.InTransaction());
  return indexID;
}

void TQDXDiskTableData::DeleteIndex(int32_t indexID, TQDXTableCursor* cursor) {
  platform::CriticalSectionGuard guard(Database().Lock());
  const auto* def = static_cast<const TQDXIndexDef*>(IndexManager().IndexDefs().FindByID(indexID));
  const bool temporary = def != nullptr && def->Temporary;
  if (!temporary) RequireWritable();
  TQDXTableData::DeleteIndex(indexID, cursor);
  if (cursor == nullptr) return;
  if (!temporary) WriteMetadata(cursor->SessionID());
  ApplyChanges(cursor->SessionID(), cursor->InTransaction());
}

// ---- Transactions ----------------------------------------------------------------------------

void TQDXDiskTableData::ApplyTemporaryChanges(int32_t sessionID) {
  if (temporaryPages_ && temporaryPages_->HasPendingChanges(sessionID)) {
    temporaryPages_->ApplyChanges(sessionID);
  }
}

void TQDXDiskTableData::ApplyChanges(int32_t sessionID, bool inTransaction) {
  TQDXTableData::ApplyChanges(sessionID, inTransaction);
  ApplyTemporaryChanges(sessionID);
}

void TQDXDiskTableData::CancelChanges(int32_t sessionID, bool inTransaction) {
  TQDXTableData::CancelChanges(sessionID, inTransaction);
  if (temporaryPages_) temporaryPages_->CancelChanges(sessionID);
}

void TQDXDiskTableData::AfterRollback(int32_t sessionID) {
  platform::CriticalSectionGuard guard(Database().Lock());
  if (!IsOpen()) return;
  ReadTableHeader(sessionID);
  temporaryPages_->CancelChanges(sessionID);
  TQDXTableData::AfterRollback(sessionID);
  ApplyTemporaryChanges(sessionID);
}

}  // namespace qdx
