// TQDXSession: a named group of database components, and the process's list of sessions with
// its default session.
//
// A dataset names its database by DatabaseName and its session by SessionName. To use the
// database it asks the session list for the session (OpenSession; the empty name is the default
// session "Default"), then the session for the database (OpenDatabase), and gives the database
// back when it closes (CloseDatabase):
//
//   TQDXSession& session = Sessions().OpenSession(dataSet.SessionName);
//   TQDXDatabase& database = session.OpenDatabase(dataSet.DatabaseName, dataSet.Owner);
//   ...                                 // the database is connected; count of users + 1
//   session.CloseDatabase(database);    // count - 1; at 0 it may disconnect or be freed
//
// OpenDatabase finds a component of that name owned by the dataset's owner with HandleShared
// on, else any component of that name (ignoring case); when none is registered it creates a
// temporary component that never prompts and skips the missing-file check, and frees it when
// its last user gives it back (unless KeepConnections kept it).
//
// Registry operations run under the process-wide lock (process_lock.h), the list of sessions
// under its own lock below it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/foundation/platform/critical_section.h"

namespace qdx {

class TQDXDatabase;
class TQDXEngineSessionManager;

class TQDXSession {
 public:
  // The name of the default session.
  static constexpr const char* kDefaultSessionName = "Default";

  // `name` is the component's name (the prefix of its messages, and the stem of an automatic
  // session name); `owner` stands for the form or data module that holds it, compared only for
  // identity. The session enters the process's list.
  explicit TQDXSession(std::string name = {}, const void* owner = nullptr);
  // Deactivates and leaves the list; database components registered in it fall back to the
  // default session.
  ~TQDXSession();
  TQDXSession(const TQDXSession&) = delete;
  TQDXSession& operator=(const TQDXSession&) = delete;

  const std::string& Name() const { return name_; }
  const void* Owner() const { return owner_; }
  bool IsDefault() const;

  bool Active() const { return active_; }
  // On: runs OnStartup, needs a SessionName, activates the default session first and acquires
  // the engine session manager. Off: frees the temporary database components, disconnects the
  // others and releases the manager.
  void SetActive(bool active);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  const std::string& SessionName() const { return sessionName_; }
  // Needs the session inactive and AutoSessionName off; the name must be unused.
  void SetSessionName(std::string sessionName);
  bool AutoSessionName() const { return autoSessionName_; }
  // On: the session takes the name "<Name>_<n>" (the lowest free n from 1) and hands it to the
  // database components of its owner. Only one session of an owner may have it on.
  void SetAutoSessionName(bool on);
  // Where the engine sessions of this session's components come from, while it is active: the
  // process-wide manager for the default session, one of its own for any other (null while
  // inactive).
  TQDXEngineSessionManager* EngineSessionManager() const { return engineSessions_; }
  // Taken as KeepConnection by the temporary components this session creates.
  bool KeepConnections = true;
  std::function<void(TQDXSession&)> OnStartup;

  // ---- Database components ----------------------------------------------------------------------
  // The database component for a dataset, connected, with one more user (see the file comment).
  TQDXDatabase& OpenDatabase(std::string_view databaseName, const void* owner = nullptr);
  // One user fewer; at none, unless KeepConnection is on, a normal component disconnects and a
  // temporary one is freed.
  void CloseDatabase(TQDXDatabase& database);
  // The registered component of that name (ignoring case), or null.
  TQDXDatabase* FindDatabase(std::string_view databaseName) const;
  const std::vector<TQDXDatabase*>& Databases() const { return databases_; }
  // The registered components that told the session they connected and have not told it they
  // disconnected, in the order they connected (a component borrowing a shared handle never
  // connects on its own).
  const std::vector<TQDXDatabase*>& ConnectedDatabases() const { return connected_; }

 private:
  friend class TQDXDatabase;
  friend class TQDXSessionList;

  struct DefaultTag {};
  // The default session.
  explicit TQDXSession(DefaultTag);

  // Registration of components (the caller holds the process-wide lock).
  void AddDatabase(TQDXDatabase& database);
  void RemoveDatabase(TQDXDatabase& database);
  // A component tells its session when it has connected and when it starts to disconnect.
  void DatabaseConnected(TQDXDatabase& database);
  void DatabaseDisconnecting(TQDXDatabase& database);
  // Fails for a duplicate name of `database` (unless both share their handle); frees an unused
  // temporary component of that name.
  void CheckDatabaseName(TQDXDatabase& database, std::string_view databaseName);
  TQDXDatabase* FindDatabaseFor(std::string_view databaseName, const void* owner) const;
  void FreeTemporaryDatabase(TQDXDatabase& database);
  void ReleaseAutoNumber();

  std::string name_;
  const void* owner_;
  std::string sessionName_;
  bool active_ = false;
  bool autoSessionName_ = false;
  bool isDefault_ = false;
  int32_t autoNumber_ = 0;
  // Registered components; temporary ones are owned here as well.
  std::vector<TQDXDatabase*> databases_;
  std::vector<TQDXDatabase*> connected_;
  std::vector<std::unique_ptr<TQDXDatabase>> temporaries_;
  TQDXEngineSessionManager* engineSessions_ = nullptr;
  std::unique_ptr<TQDXEngineSessionManager> ownEngineSessions_;
};

// The sessions of the process. The first one is the default session.
class TQDXSessionList {
 public:
  // The session of that name (ignoring case); the empty name is the default session. Null when
  // there is none.
  TQDXSession* FindSession(std::string_view sessionName);
  // FindSession, failing with error 20002 for an unknown name, and activated.
  TQDXSession& OpenSession(std::string_view sessionName);
  TQDXSession& DefaultSession();
  // A copy of the list, for walking without holding its lock.
  std::vector<TQDXSession*> List();

 private:
  friend class TQDXSession;
  friend TQDXSessionList& Sessions();
  TQDXSessionList();

  void Add(TQDXSession& session);
  void Remove(TQDXSession& session);
  // The lowest free number of automatic session names, counted from 1; taken until released.
  int32_t TakeAutoNumber();
  void ReleaseAutoNumber(int32_t number);

  platform::CriticalSection lock_;
  std::vector<TQDXSession*> sessions_;
  std::vector<bool> autoNumbers_;
  std::unique_ptr<TQDXSession> defaultSession_;
};

// The process's session list, built on first use with its default session.
TQDXSessionList& Sessions();
// Sessions().DefaultSession().
TQDXSession& DefaultSession();

}  // namespace qdx
