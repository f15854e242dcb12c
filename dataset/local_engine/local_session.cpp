// The local session: connecting by identity, the password check, transactions.
//
// The process-wide list of database data objects finds an object by its file name only; the
// identity of a disk database also holds the session name (two sessions of different names open
// one file through two objects). The objects this file creates are therefore remembered with
// their identity in a side table, guarded by the list's lock like the list itself.
//
// Session names compare ignoring case. File names compare exactly, as the file system does:
// "Auto.qdx" and "auto.qdx" are two files here, and one object for both would serve one file's
// pages to the sessions of the other.
#include "dataset/local_engine/local_session.h"

#include <algorithm>
#include <memory>

#include "engine/core/database_data.h"
#include "engine/disk/disk_database_data.h"
#include "engine/disk/free_space_manager.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/critical_section.h"
#include "engine/foundation/types/strings.h"

namespace qdx {
namespace {

// A disk database data object created by a local session, with its identity (the session
// name upper-cased).
struct Identity {
  TQDXDatabaseData* Data;
  std::string FileName;
  std::string SessionName;
};

// Requires: DatabaseDataList().Lock() is held.
std::vector<Identity>& Identities() {
  static std::vector<Identity> identities;
  return identities;
}

void ForgetIdentity(TQDXDatabaseData* data) {
  std::erase_if(Identities(), [&](const Identity& identity) { return identity.Data == data; });
}

}  // namespace

TQDXLocalSession::~TQDXLocalSession() {
  try {
    SetConnected(false);
  } catch (...) {  // a destructor cannot report; the database data is gone or left as it was
  }
}

bool TQDXLocalSession::IsDiskDatabase() const {
  return dynamic_cast<TQDXDiskDatabaseData*>(databaseData_) != nullptr;
}

TQDXDatabaseData* TQDXLocalSession::FindDatabaseData() const {
  if (IsMemoryDatabase() || IsTemporaryDatabase()) {
    // The engines of these databases put their object into the list under the name.
    return DatabaseDataList().Find(DatabaseName);
  }
  const std::string sessionName = AnsiUpperCase(SessionName);
  for (const Identity& identity : Identities()) {
    if (identity.FileName == FileName && identity.SessionName == sessionName) return identity.Data;
  }
  return nullptr;
}

TQDXDatabaseData* TQDXLocalSession::FindOrCreateDatabaseData() {
  if (TQDXDatabaseData* data = FindDatabaseData()) return data;
  if (IsMemoryDatabase() || IsTemporaryDatabase()) Raise(msg::kDatabaseEngineIsNotInitialized);
  auto data = std::make_unique<TQDXDiskDatabaseData>(FileName);
  data->ReadOnly = ReadOnly;
  data->MaxConnections = MaxConnections;
  data->Password = Password;
  data->PageSize = static_cast<uint16_t>(PageSize);
  data->PagesPerExtent = static_cast<uint16_t>(PagesPerExtent);
  data->LockRetryCount = LockTiming.DatabaseRetryCount;
  data->LockRetryPause = LockTiming.DatabaseRetryPauseMs;
  data->LockTiming = LockTiming.Commit;
  Identities().push_back({data.get(), FileName, AnsiUpperCase(SessionName)});
  DatabaseDataList().Add(data.get());
  return data.release();
}

void TQDXLocalSession::SetConnected(bool connected) {
  if (connected == IsConnected()) return;
  if (connected) {
    Connect();
  } else {
    Disconnect();
  }
}

void TQDXLocalSession::Connect() {
  platform::CriticalSectionGuard listGuard(DatabaseDataList().Lock());
  TQDXDatabaseData* data = FindOrCreateDatabaseData();
  try {
    data->AddSession(*this);
  } catch (...) {
    // An object made for this session and never opened goes again.
    if (data->Sessions().empty() && dynamic_cast<TQDXDiskDatabaseData*>(data) != nullptr) {
      ForgetIdentity(data);
      data->FreeIfUnused();
    }
    throw;
  }
  databaseData_ = data;
  ReadOnly = data->ReadOnly;
  auto* disk = dynamic_cast<TQDXDiskDatabaseData*>(data);
  if (disk == nullptr) return;
  // A protected file opened by an earlier session admits only its password. The first session
  // proved its password by opening the file.
  if (disk->IsEncrypted() && !disk->Password.Password.empty() &&
      Password.Password != disk->Password.Password) {
    Disconnect();
    Raise(msg::kDatabasePasswordIsInvalid);
  }
  Password = disk->Password;
  PageSize = disk->PageSize;
  PagesPerExtent = disk->PagesPerExtent;
  MaxConnections = disk->MaxConnections;
}

void TQDXLocalSession::Disconnect() {
  platform::CriticalSectionGuard listGuard(DatabaseDataList().Lock());
  TQDXDatabaseData* data = std::exchange(databaseData_, nullptr);
  InTransaction = false;
  // The database data is left (and a disk one freed when this was its last session) even when
  // removing the session reports a failure, which is then passed on.
  const bool disk = dynamic_cast<TQDXDiskDatabaseData*>(data) != nullptr;
  auto freeIfLast = [&] {
    if (disk && data->Sessions().empty()) {
      ForgetIdentity(data);
      data->FreeIfUnused();
    }
  };
  try {
    data->RemoveSession(*this);
  } catch (...) {
    freeIfLast();
    throw;
  }
  freeIfLast();
}

bool TQDXLocalSession::GetInTransactionFlag() const {
  auto* disk = dynamic_cast<TQDXDiskDatabaseData*>(databaseData_);
  if (disk == nullptr || disk->PageManager() == nullptr) return false;
  const TQDXDatabaseFreeSpaceManager* freeSpace = disk->PageManager()->FreeSpaceManager();
  return freeSpace != nullptr && freeSpace->InTransaction;
}

void TQDXLocalSession::SetInTransactionFlag(bool flag) {
  auto* disk = dynamic_cast<TQDXDiskDatabaseData*>(databaseData_);
  if (disk == nullptr || disk->PageManager() == nullptr) return;
  TQDXDatabaseFreeSpaceManager* freeSpace = disk->PageManager()->FreeSpaceManager();
  if (freeSpace != nullptr) freeSpace->InTransaction = flag;
}

void TQDXLocalSession::CreateDatabase() {
  platform::CriticalSectionGuard listGuard(DatabaseDataList().Lock());
  if (FindDatabaseData() != nullptr) Raise(msg::kDatabaseAlreadyOpen);
  if (IsMemoryDatabase() || IsTemporaryDatabase()) Raise(msg::kDatabaseEngineIsNotInitialized);
  TQDXDiskDatabaseData data(FileName);
  data.MaxConnections = MaxConnections;
  data.Password = Password;
  data.PageSize = static_cast<uint16_t>(PageSize);
  data.PagesPerExtent = static_cast<uint16_t>(PagesPerExtent);
  data.CreateDatabase();
}

TQDXDatabaseData& TQDXLocalSession::Attach() {
  if (!IsConnected()) Connect();
  return *databaseData_;
}

void TQDXLocalSession::GetTableNames(std::vector<std::string>& names) {
  Attach().GetTableNames(names);
}

bool TQDXLocalSession::TableExists(std::string_view name) {
  return Attach().TableExists(name);
}

void TQDXLocalSession::RequireTransaction() const {
  if (!InTransaction) Raise(msg::kNotInTransaction);
}

void TQDXLocalSession::Commit(bool flush) {
  RequireTransaction();
  if (databaseData_ != nullptr) databaseData_->CommitTransaction(SessionID(), flush);
  InTransaction = false;
}

void TQDXLocalSession::Rollback() {
  RequireTransaction();
  if (databaseData_ != nullptr) databaseData_->RollbackTransaction(SessionID());
  InTransaction = false;
}

void TQDXLocalSession::FlushBuffers() {
  if (databaseData_ != nullptr) databaseData_->FlushToDisk();
}

}  // namespace qdx
