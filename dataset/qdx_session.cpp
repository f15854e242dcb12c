// The sessions: registration of database components, activation, names, the temporary
// components made for datasets, and the process's session list.
#include "dataset/qdx_session.h"

#include <algorithm>
#include <span>

#include "dataset/database_error.h"
#include "dataset/dataset_messages.h"
#include "dataset/engine_session_manager.h"
#include "dataset/process_lock.h"
#include "dataset/qdx_database.h"
#include "dataset/qdx_dataset.h"
#include "engine/foundation/except.h"
#include "engine/foundation/format.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/types/strings.h"

namespace qdx {

namespace {

std::string Text(std::string_view format, FormatArgs args) {
  return FormatOrFallback(format, std::span<const FormatArg>(args.begin(), args.size()));
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AnsiUpperChar(static_cast<uint8_t>(x)) == AnsiUpperChar(static_cast<uint8_t>(y));
         });
}

}  // namespace

// ---- TQDXSession ---------------------------------------------------------------------------------

TQDXSession::TQDXSession(std::string name, const void* owner)
    : name_(std::move(name)), owner_(owner) {
  const platform::CriticalSectionGuard lock(ProcessLock());
  if (owner_ != nullptr) {
    for (TQDXSession* other : Sessions().List()) {
      if (other->owner_ == owner_ && other->autoSessionName_) {
        DatabaseError(Text(dsmsg::kSessionBesideAutoSessionName, {other->sessionName_}), name_);
      }
    }
  }
  Sessions().Add(*this);
}

TQDXSession::TQDXSession(DefaultTag) : owner_(nullptr), sessionName_(kDefaultSessionName) {
  isDefault_ = true;
}

TQDXSession::~TQDXSession() {
  const platform::CriticalSectionGuard lock(ProcessLock());
  try {
    SetActive(false);
  } catch (...) {
    // A component that cannot disconnect cleanly is dropped all the same.
  }
  temporaries_.clear();
  if (isDefault_) return;
  // Components registered here fall back to the default session.
  for (TQDXDatabase* database : std::vector<TQDXDatabase*>(databases_)) {
    RemoveDatabase(*database);
    Sessions().DefaultSession().AddDatabase(*database);
  }
  ReleaseAutoNumber();
  Sessions().Remove(*this);
}

bool TQDXSession::IsDefault() const {
  return isDefault_;
}

void TQDXSession::SetActive(bool active) {
  const platform::CriticalSectionGuard lock(ProcessLock());
  if (active == active_) return;
  if (active) {
    if (OnStartup) OnStartup(*this);
    if (sessionName_.empty()) DatabaseError(dsmsg::kSessionNameMissing, name_);
    if (!isDefault_) Sessions().DefaultSession().SetActive(true);
    if (isDefault_) {
      engineSessions_ = &ProcessEngineSessionManager();
    } else {
      ownEngineSessions_ = std::make_unique<TQDXEngineSessionManager>();
      engineSessions_ = ownEngineSessions_.get();
    }
    active_ = true;
    return;
  }
  active_ = false;
  // Temporary components go; the others disconnect and stay registered.
  while (!temporaries_.empty()) FreeTemporaryDatabase(*temporaries_.back());
  for (TQDXDatabase* database : std::vector<TQDXDatabase*>(databases_)) database->Close();
  engineSessions_ = nullptr;
  ownEngineSessions_.reset();
}

void TQDXSession::SetSessionName(std::string sessionName) {
  const platform::CriticalSectionGuard lock(ProcessLock());
  if (active_) DatabaseError(dsmsg::kSessionIsActive, name_);
  if (autoSessionName_) DatabaseError(dsmsg::kAutoSessionNameEnabled, name_);
  TQDXSession* other = Sessions().FindSession(sessionName);
  if (!sessionName.empty() && other != nullptr && other != this) {
    DatabaseError(Text(dsmsg::kDuplicateSessionName, {sessionName}), name_);
  }
  sessionName_ = std::move(sessionName);
}

void TQDXSession::SetAutoSessionName(bool on) {
  const platform::CriticalSectionGuard lock(ProcessLock());
  if (on == autoSessionName_) return;
  if (!on) {
    autoSessionName_ = false;
    ReleaseAutoNumber();
    return;
  }
  if (active_) DatabaseError(dsmsg::kSessionIsActive, name_);
  for (TQDXSession* other : Sessions().List()) {
    if (other != this && owner_ != nullptr && other->owner_ == owner_) {
      DatabaseError(dsmsg::kAutoSessionNameWithOtherSessions, name_);
    }
  }
  autoNumber_ = Sessions().TakeAutoNumber();
  const std::string sessionName = Text(dsmsg::kAutoSessionNameForm, {name_, autoNumber_});
  try {
    SetSessionName(sessionName);
  } catch (...) {
    ReleaseAutoNumber();
    throw;
  }
  autoSessionName_ = true;
  // The database components and datasets of the same owner follow the session.
  if (owner_ == nullptr) return;
  for (TQDXSession* session : Sessions().List()) {
    for (TQDXDatabase* database : std::vector<TQDXDatabase*>(session->databases_)) {
      if (database->Owner() == owner_ && !database->IsTemporary()) {
        database->SetSessionName(sessionName_);
      }
    }
  }
  for (TQDXDataSet* dataSet : TQDXDataSet::DataSetsOf(owner_)) {
    dataSet->SetSessionName(sessionName_);
  }
}

void TQDXSession::ReleaseAutoNumber() {
  if (autoNumber_ > 0) Sessions().ReleaseAutoNumber(autoNumber_);
  autoNumber_ = 0;
}

TQDXDatabase* TQDXSession::FindDatabase(std::string_view databaseName) const {
  const platform::CriticalSectionGuard lock(ProcessLock());
  for (TQDXDatabase* database : databases_) {
    if (SameName(database->DatabaseName(), databaseName)) return database;
  }
  return nullptr;
}

TQDXDatabase* TQDXSession::FindDatabaseFor(std::string_view databaseName,
                                           const void* owner) const {
  if (owner != nullptr) {
    for (TQDXDatabase* database : databases_) {
      if (database->Owner() == owner && database->HandleShared &&
          SameName(database->DatabaseName(), databaseName)) {
        return database;
      }
    }
  }
  return FindDatabase(databaseName);
}

TQDXDatabase& TQDXSession::OpenDatabase(std::string_view databaseName, const void* owner) {
  const platform::CriticalSectionGuard lock(ProcessLock());
  SetActive(true);
  TQDXDatabase* database = FindDatabaseFor(databaseName, owner);
  bool created = false;
  if (database == nullptr) {
    // An unregistered name: a temporary component that never prompts and needs no file check.
    auto temporary = std::make_unique<TQDXDatabase>(std::string(), owner);
    temporary->temporary_ = true;
    temporary->databaseName_ = std::string(databaseName);
    temporary->databaseFileName_ = std::string(databaseName);
    temporary->sessionName_ = sessionName_;
    temporary->keepConnection_ = KeepConnections;
    temporary->SilentMode = true;
    if (temporary->session_ != nullptr) temporary->session_->RemoveDatabase(*temporary);
    AddDatabase(*temporary);
    database = temporary.get();
    temporaries_.push_back(std::move(temporary));
    created = true;
  }
  try {
    database->Open();
  } catch (...) {
    if (created) FreeTemporaryDatabase(*database);
    throw;
  }
  ++database->refCount_;
  return *database;
}

void TQDXSession::CloseDatabase(TQDXDatabase& database) {
  const platform::CriticalSectionGuard lock(ProcessLock());
  if (database.refCount_ > 0) --database.refCount_;
  if (database.refCount_ > 0 || database.keepConnection_ || database.disconnecting_) return;
  if (database.temporary_) {
    FreeTemporaryDatabase(database);
  } else {
    database.Close();
  }
}

void TQDXSession::FreeTemporaryDatabase(TQDXDatabase& database) {
  const auto it = std::find_if(temporaries_.begin(), temporaries_.end(),
                               [&](const auto& owned) { return owned.get() == &database; });
  if (it == temporaries_.end()) return;
  std::unique_ptr<TQDXDatabase> owned = std::move(*it);
  temporaries_.erase(it);
  // Its destructor disconnects it and takes it out of the list.
  owned.reset();
}

void TQDXSession::AddDatabase(TQDXDatabase& database) {
  if (std::find(databases_.begin(), databases_.end(), &database) == databases_.end()) {
    databases_.push_back(&database);
  }
  database.session_ = this;
}

void TQDXSession::RemoveDatabase(TQDXDatabase& database) {
  databases_.erase(std::remove(databases_.begin(), databases_.end(), &database),
                   databases_.end());
  std::erase(connected_, &database);
  if (database.session_ == this) database.session_ = nullptr;
}

void TQDXSession::DatabaseConnected(TQDXDatabase& database) {
  if (std::find(connected_.begin(), connected_.end(), &database) == connected_.end()) {
    connected_.push_back(&database);
  }
}

void TQDXSession::DatabaseDisconnecting(TQDXDatabase& database) {
  std::erase(connected_, &database);
}

void TQDXSession::CheckDatabaseName(TQDXDatabase& database, std::string_view databaseName) {
  if (databaseName.empty()) return;
  for (TQDXDatabase* other : std::vector<TQDXDatabase*>(databases_)) {
    if (other == &database || !SameName(other->DatabaseName(), databaseName)) continue;
    if (other->HandleShared && database.HandleShared) continue;
    if (!other->temporary_ || other->refCount_ > 0) {
      database.Error(Text(dsmsg::kDuplicateDatabaseName, {databaseName}));
    }
    FreeTemporaryDatabase(*other);
  }
}

// ---- TQDXSessionList -------------------------------------------------------------------------------

TQDXSessionList::TQDXSessionList()
    : defaultSession_(new TQDXSession(TQDXSession::DefaultTag{})) {
  sessions_.push_back(defaultSession_.get());
}

TQDXSession* TQDXSessionList::FindSession(std::string_view sessionName) {
  const platform::CriticalSectionGuard lock(lock_);
  if (sessionName.empty()) return defaultSession_.get();
  for (TQDXSession* session : sessions_) {
    if (SameName(session->SessionName(), sessionName)) return session;
  }
  return nullptr;
}

TQDXSession& TQDXSessionList::OpenSession(std::string_view sessionName) {
  const platform::CriticalSectionGuard lock(ProcessLock());
  TQDXSession* session = FindSession(sessionName);
  if (session == nullptr) Raise(msg::kInvalidSessionName, {sessionName});
  session->SetActive(true);
  return *session;
}

TQDXSession& TQDXSessionList::DefaultSession() {
  return *defaultSession_;
}

std::vector<TQDXSession*> TQDXSessionList::List() {
  const platform::CriticalSectionGuard lock(lock_);
  return sessions_;
}

void TQDXSessionList::Add(TQDXSession& session) {
  const platform::CriticalSectionGuard lock(lock_);
  sessions_.push_back(&session);
}

void TQDXSessionList::Remove(TQDXSession& session) {
  const platform::CriticalSectionGuard lock(lock_);
  sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), &session), sessions_.end());
}

int32_t TQDXSessionList::TakeAutoNumber() {
  const platform::CriticalSectionGuard lock(lock_);
  size_t index = 0;
  while (index < autoNumbers_.size() && autoNumbers_[index]) ++index;
  if (index == autoNumbers_.size()) autoNumbers_.push_back(false);
  autoNumbers_[index] = true;
  return static_cast<int32_t>(index + 1);
}

void TQDXSessionList::ReleaseAutoNumber(int32_t number) {
  const platform::CriticalSectionGuard lock(lock_);
  const size_t index = static_cast<size_t>(number - 1);
  if (number > 0 && index < autoNumbers_.size()) autoNumbers_[index] = false;
}

TQDXSessionList& Sessions() {
  // Built on first use and never destroyed, so that components destroyed at exit find it.
  static auto* list = new TQDXSessionList();
  return *list;
}

TQDXSession& DefaultSession() {
  return Sessions().DefaultSession();
}

}  // namespace qdx
