// The database component: properties, connecting with its checks and prompts, disconnecting,
// transactions and the file-level operations. The rebuild is in qdx_database_rebuild.cpp.
#include "dataset/qdx_database.h"

#include <algorithm>
#include <span>

#include "dataset/database_error.h"
#include "dataset/dataset_messages.h"
#include "dataset/engine_session_manager.h"
#include "dataset/local_engine/local_session.h"
#include "dataset/process_lock.h"
#include "dataset/prompts.h"
#include "dataset/qdx_session.h"
#include "engine/disk/database_header.h"
#include "engine/disk/disk_database_data.h"
#include "engine/foundation/except.h"
#include "engine/foundation/format.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/file.h"
#include "engine/foundation/scope_guard.h"
#include "engine/foundation/types/strings.h"

namespace qdx {

namespace {

std::string Text(std::string_view format, FormatArgs args) {
  return FormatOrFallback(format, std::span<const FormatArg>(args.begin(), args.size()));
}

}  // namespace

TQDXDatabase::TQDXDatabase(std::string name, const void* owner)
    : name_(std::move(name)), owner_(owner) {
  const platform::CriticalSectionGuard lock(ProcessLock());
  DefaultSession().AddDatabase(*this);
}

TQDXDatabase::~TQDXDatabase() {
  const platform::CriticalSectionGuard lock(ProcessLock());
  try {
    Disconnect();
  } catch (...) {
    // The engine session is gone all the same (FreeEngineSession never raises).
  }
  if (session_ != nullptr) session_->RemoveDatabase(*this);
}

void TQDXDatabase::Error(std::string_view message) const {
  DatabaseError(message, name_);
}

std::unique_ptr<TQDXDatabase> TQDXDatabase::NewTemporaryPeer(std::string_view stem,
                                                             std::string fileName) {
  const platform::CriticalSectionGuard lock(ProcessLock());
  CheckSessionAndName();
  auto peer = std::make_unique<TQDXDatabase>(std::string(), owner_);
  peer->temporary_ = true;
  peer->SilentMode = true;
  peer->sessionName_ = sessionName_;
  if (peer->session_ != nullptr) peer->session_->RemoveDatabase(*peer);
  session_->AddDatabase(*peer);
  // "<stem>", then "<stem>1", "<stem>2", ...: a name no component of the session has.
  std::string name(stem);
  for (int32_t n = 1; session_->FindDatabase(name) != nullptr; ++n) {
    name = std::string(stem) + std::to_string(n);
  }
  peer->databaseName_ = std::move(name);
  peer->databaseFileName_ = std::move(fileName);
  return peer;
}

// ---- Properties ----------------------------------------------------------------------------------

void TQDXDatabase::SetConnected(bool connected) {
  if (connected == Connected()) return;
  if (connected) {
    Connect();
  } else {
    Disconnect();
  }
}

void TQDXDatabase::SetDatabaseFileName(std::string fileName) {
  if (fileName == databaseFileName_) return;
  Close();
  databaseFileName_ = std::move(fileName);
}

void TQDXDatabase::SetDatabaseName(std::string databaseName) {
  const platform::CriticalSectionGuard lock(ProcessLock());
  CheckDisconnected();
  if (SameDatabaseName(databaseName, kMemoryDatabaseName)) {
    databaseName = std::string(kMemoryDatabaseName);
  }
  if (session_ != nullptr) session_->CheckDatabaseName(*this, databaseName);
  databaseName_ = std::move(databaseName);
}

void TQDXDatabase::SetSessionName(std::string sessionName) {
  const platform::CriticalSectionGuard lock(ProcessLock());
  CheckDisconnected();
  // A session that does not exist yet is looked for again when the component connects.
  TQDXSession* session = Sessions().FindSession(sessionName);
  if (session != nullptr && session != session_) {
    session->CheckDatabaseName(*this, databaseName_);
    if (session_ != nullptr) session_->RemoveDatabase(*this);
    session->AddDatabase(*this);
  }
  sessionName_ = std::move(sessionName);
}

void TQDXDatabase::SetKeepConnection(bool keep) {
  keepConnection_ = keep;
  if (!keep && refCount_ == 0) Close();
}

void TQDXDatabase::AddDataSet(TQDXDatabaseUser& dataSet) {
  if (std::find(dataSets_.begin(), dataSets_.end(), &dataSet) == dataSets_.end()) {
    dataSets_.push_back(&dataSet);
  }
}

void TQDXDatabase::RemoveDataSet(TQDXDatabaseUser& dataSet) {
  dataSets_.erase(std::remove(dataSets_.begin(), dataSets_.end(), &dataSet), dataSets_.end());
}

// ---- Checks ---------------------------------------------------------------------------------------

void TQDXDatabase::CheckDisconnected() const {
  if (Connected()) Error(dsmsg::kDatabaseOpen);
}

void TQDXDatabase::CheckConnected() const {
  if (!Connected()) Error(dsmsg::kDatabaseIsClosed);
}

void TQDXDatabase::CheckSessionAndName() {
  const platform::CriticalSectionGuard lock(ProcessLock());
  if (databaseName_.empty() && !temporary_) Error(dsmsg::kDatabaseNameMissing);
  TQDXSession* session = Sessions().FindSession(sessionName_);
  if (session == nullptr) Raise(msg::kInvalidSessionName, {sessionName_});
  if (session != session_) {
    session->CheckDatabaseName(*this, databaseName_);
    if (session_ != nullptr) session_->RemoveDatabase(*this);
    session->AddDatabase(*this);
  }
  session->SetActive(true);
}

// ---- Connecting -----------------------------------------------------------------------------------

void TQDXDatabase::Connect() {
  const platform::CriticalSectionGuard lock(ProcessLock());
  CheckSessionAndName();
  if (HandleShared) {
    if (TQDXDatabase* source = SharedHandleSource()) {
      engineSession_ = source->engineSession_;
      sharedHandle_ = true;
      return;
    }
  }
  if (!temporary_ && !platform::FileExists(databaseFileName_)) {
    Error(Text(dsmsg::kDatabaseFileMissing, {databaseFileName_}));
  }
  OpenEngineSession();
  if (engineSession_->RepairNeeded && !SilentMode && !quiet_) OfferRepair();
  CopyBackSettings();
  if (session_ != nullptr) session_->DatabaseConnected(*this);
}

TQDXDatabase* TQDXDatabase::SharedHandleSource() const {
  if (session_ == nullptr) return nullptr;
  for (TQDXDatabase* other : session_->Databases()) {
    if (other != this && other->HandleShared && other->Connected() &&
        AnsiUpperCase(other->databaseName_) == AnsiUpperCase(databaseName_)) {
      return other;
    }
  }
  return nullptr;
}

std::unique_ptr<TQDXLocalSession> TQDXDatabase::NewEngineSession() const {
  TQDXEngineSessionManager* manager =
      session_ != nullptr ? session_->EngineSessionManager() : nullptr;
  if (manager == nullptr) return nullptr;
  std::unique_ptr<TQDXLocalSession> session = manager->NewSession();
  session->DatabaseName = databaseName_;
  session->FileName = databaseFileName_;
  session->Password = {Password, CryptoAlgorithm};
  session->PageSize = PageSize;
  session->PagesPerExtent = PagesPerExtent;
  session->MaxConnections = MaxConnections;
  session->ReadOnly = ReadOnly;
  session->Exclusive = Exclusive;
  session->SetMultiUser(MultiUser);
  if (MultiUser && session_ != nullptr) session->SessionName = session_->SessionName();
  return session;
}

void TQDXDatabase::OpenEngineSession() {
  for (;;) {
    std::unique_ptr<TQDXLocalSession> session = NewEngineSession();
    if (session == nullptr) Error(dsmsg::kDatabaseOpenError);
    try {
      session->SetConnected(true);
    } catch (const EQDXException& e) {
      session.reset();
      if (e.ErrorCode() == msg::kIncorrectPassword.Code && AskAgainForPassword()) continue;
      throw;
    }
    ownEngineSession_ = std::move(session);
    engineSession_ = ownEngineSession_.get();
    return;
  }
}

bool TQDXDatabase::AskAgainForPassword() {
  if (OnPassword) {
    bool continueConnecting = false;
    OnPassword(*this, continueConnecting);
    return continueConnecting;
  }
  if (SilentMode) return false;
  // The name line stays empty: the dialog asks for this component's file.
  return Prompts().AskPassword({}, Password);
}

void TQDXDatabase::OfferRepair() {
  auto* disk = dynamic_cast<TQDXDiskDatabaseData*>(engineSession_->DatabaseData());
  if (disk == nullptr || disk->PageManager() == nullptr) return;
  const bool oldFormat = disk->PageManager()->Header().IsOldFormat();
  bool rebuild = true;
  if (oldFormat) {
    Prompts().Inform(dsmsg::kOldFormatNotice);
  } else if (OnNeedRepair) {
    rebuild = false;
    OnNeedRepair(*this, rebuild);
  } else {
    rebuild = Prompts().Confirm(dsmsg::kRepairQuestion);
  }
  if (!rebuild) return;

  FreeEngineSession();
  std::string errors;
  quiet_ = true;
  try {
    errors = Rebuild();
  } catch (...) {
    quiet_ = false;
    Raise(msg::kCannotConvertDatabase);
  }
  quiet_ = false;
  if (!errors.empty()) Prompts().Warn(errors);
  OpenEngineSession();
}

void TQDXDatabase::CopyBackSettings() {
  ReadOnly = engineSession_->ReadOnly;
  CryptoAlgorithm = engineSession_->Password.CryptoAlgorithm;
  PageSize = engineSession_->PageSize;
  PagesPerExtent = engineSession_->PagesPerExtent;
  MaxConnections = engineSession_->MaxConnections;
}

// ---- Disconnecting --------------------------------------------------------------------------------

void TQDXDatabase::Disconnect() {
  if (!Connected() || disconnecting_) return;
  const ScopedValue disconnecting(disconnecting_, true);
  if (session_ != nullptr) session_->DatabaseDisconnecting(*this);
  // SQL datasets first, then the others; each closing dataset leaves the list.
  for (bool sql : {true, false}) {
    for (TQDXDatabaseUser* dataSet : std::vector<TQDXDatabaseUser*>(dataSets_)) {
      if (dataSet->IsSQLDataSet() != sql) continue;
      dataSet->CloseForDatabase();
      RemoveDataSet(*dataSet);
    }
  }
  if (sharedHandle_) {
    engineSession_ = nullptr;
    sharedHandle_ = false;
  } else {
    // Components that borrowed this engine session lose it first.
    if (session_ != nullptr) {
      for (TQDXDatabase* other : std::vector<TQDXDatabase*>(session_->Databases())) {
        if (other != this && other->sharedHandle_ && other->engineSession_ == engineSession_) {
          other->Disconnect();
        }
      }
    }
    FreeEngineSession();
  }
  refCount_ = 0;
}

void TQDXDatabase::FreeEngineSession() noexcept {
  engineSession_ = nullptr;
  if (ownEngineSession_ == nullptr) return;
  try {
    ownEngineSession_->SetConnected(false);
  } catch (...) {
    // The session's destructor lets the database data go; a failed close changes nothing for
    // the component, which is disconnected either way.
  }
  ownEngineSession_.reset();
}

// ---- Operations -----------------------------------------------------------------------------------

void TQDXDatabase::CreateDatabase() {
  const platform::CriticalSectionGuard lock(ProcessLock());
  CheckSessionAndName();
  CheckDisconnected();
  const std::unique_ptr<TQDXLocalSession> session = NewEngineSession();
  if (session == nullptr) Error(dsmsg::kCannotCreateDatabase);
  session->CreateDatabase();
}

void TQDXDatabase::DeleteDatabase() {
  const platform::CriticalSectionGuard lock(ProcessLock());
  CheckSessionAndName();
  CheckDisconnected();
  if (!platform::DeleteFile(databaseFileName_)) {
    Error(Text(dsmsg::kCannotDeleteDatabaseFile, {databaseFileName_}));
  }
}

void TQDXDatabase::GetTableNames(std::vector<std::string>& names) {
  names.clear();
  const bool wasConnected = Connected();
  try {
    Open();
    engineSession_->GetTableNames(names);
  } catch (...) {
    names.clear();
  }
  if (!wasConnected) {
    try {
      Close();
    } catch (...) {
      // Errors of this operation are swallowed.
    }
  }
}

bool TQDXDatabase::TableExists(std::string_view tableName) {
  Open();
  return engineSession_->TableExists(tableName);
}

void TQDXDatabase::StartTransaction() {
  CheckConnected();
  // Raised without the component's name.
  if (engineSession_->InTransaction) DatabaseError(dsmsg::kAlreadyInTransaction);
  engineSession_->StartTransaction();
}

void TQDXDatabase::Commit(bool flush) {
  CheckConnected();
  engineSession_->Commit(flush);
}

void TQDXDatabase::Rollback() {
  CheckConnected();
  engineSession_->Rollback();
}

bool TQDXDatabase::InTransaction() const {
  return engineSession_ != nullptr && engineSession_->InTransaction;
}

}  // namespace qdx
