// TQDXDatabase: the application's named connection to one database file.
//
// Datasets do not point at a database component: they name it through DatabaseName, and their
// session (qdx_session.h) resolves the name to the component registered under it, connecting it
// on first use. Connecting creates the engine session (TQDXLocalSession) that opens the file;
// around it the component checks its settings, asks for a password when the engine refuses the
// one it has, offers to repair a file that was not closed correctly or to convert a file of an
// older format, and rebuilds the file when the user agrees, showing the rebuild's progress.
//
// Invariants:
//  1. The engine session exists exactly while the component is connected; Connected() reads
//     whether it does. A failed connect leaves the component disconnected with no engine
//     session (a password typed into the dialog stays in Password).
//  2. A component is registered in at most one session at a time; names are unique in a session
//     (ignoring case) unless both components share their handle (HandleShared).
//  3. A rebuild never touches the original file until the new one is complete and on disk; then
//     one rename puts it in place. A failed rebuild leaves the original as it was.
//
// Errors raised for the component are EDatabaseError with its Name, a colon and a blank in
// front; engine errors pass as EQDXException with their codes. Questions and progress go through
// Prompts() (prompts.h). A component is used from one thread; registry changes and connecting
// run under the process-wide lock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qdx {

class TQDXLocalSession;
class TQDXProgressDisplay;
class TQDXSession;

// What a database component asks of a dataset attached to it. The dataset framework's dataset
// implements it and enters itself with AddDataSet when it attaches to the database.
class TQDXDatabaseUser {
 public:
  // Closes the dataset because its database disconnects. Closing removes the dataset from the
  // database's list (RemoveDataSet).
  virtual void CloseForDatabase() = 0;
  // SQL datasets are closed before the others.
  virtual bool IsSQLDataSet() const { return false; }

 protected:
  ~TQDXDatabaseUser() = default;
};

class TQDXDatabase;

// An event around a long operation of a database component (before, after).
using TQDXDatabaseEvent = std::function<void(TQDXDatabase&)>;
// The progress of a long operation in percent; clear `continueWork` to stop it.
using TQDXDatabaseProgressEvent =
    std::function<void(TQDXDatabase&, int percent, bool& continueWork)>;

class TQDXDatabase {
 public:
  // The engine version with two decimals and a trailing blank.
  static constexpr const char* kCurrentVersion = "6.09 ";
  // Settings of a new file.
  static constexpr int32_t kDefaultPageSize = 4096;
  static constexpr int32_t kDefaultPagesPerExtent = 8;
  static constexpr int32_t kDefaultMaxConnections = 500;
  // Appended to DatabaseFileName for the file a rebuild writes.
  static constexpr const char* kRebuildSuffix = ".tmp";

  // `name` is the component's name (the prefix of its messages); `owner` stands for the form
  // or data module that holds it and is compared only for identity. The component is
  // registered in the default session until SessionName names another.
  explicit TQDXDatabase(std::string name = {}, const void* owner = nullptr);
  // Disconnects and leaves its session.
  ~TQDXDatabase();
  TQDXDatabase(const TQDXDatabase&) = delete;
  TQDXDatabase& operator=(const TQDXDatabase&) = delete;

  const std::string& Name() const { return name_; }
  const void* Owner() const { return owner_; }

  // ---- Connection -------------------------------------------------------------------------------
  bool Connected() const { return engineSession_ != nullptr; }
  // On: connects (nothing when connected); off: disconnects.
  void SetConnected(bool connected);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }
  std::string CurrentVersion() const { return kCurrentVersion; }

  const std::string& DatabaseFileName() const { return databaseFileName_; }
  // A path different from the current one disconnects first.
  void SetDatabaseFileName(std::string fileName);
  const std::string& DatabaseName() const { return databaseName_; }
  // Needs the component disconnected; fails on a duplicate name in the session (an unused
  // temporary component of that name is freed and replaced instead).
  void SetDatabaseName(std::string databaseName);
  const std::string& SessionName() const { return sessionName_; }
  // Needs the component disconnected; registers it in the named session (the default one when
  // empty; an unknown name is reported when the component next connects).
  void SetSessionName(std::string sessionName);
  bool KeepConnection() const { return keepConnection_; }
  // Off disconnects at once when no dataset uses the database.
  void SetKeepConnection(bool keep);

  bool Exclusive = false;
  // The password in the engine's 8-bit code page.
  std::string Password;
  bool ReadOnly = false;
  bool HandleShared = false;
  int32_t MaxConnections = kDefaultMaxConnections;
  bool MultiUser = false;
  // Never ask anything (password, repair, conversion) and show no progress.
  bool SilentMode = false;
  bool DisableTempFiles = false;
  // Settings of a new file and of a password-protected one; copied back from the file on
  // connect.
  int32_t PageSize = kDefaultPageSize;
  int32_t PagesPerExtent = kDefaultPagesPerExtent;
  uint8_t CryptoAlgorithm = 0;

  // ---- Events -----------------------------------------------------------------------------------
  // The engine refused the password: set `continueConnecting` (it starts off) to try again with
  // the Password the handler set.
  std::function<void(TQDXDatabase&, bool& continueConnecting)> OnPassword;
  // The file was not closed correctly: set `repair` to rebuild it.
  std::function<void(TQDXDatabase&, bool& repair)> OnNeedRepair;
  // Around a rebuild; when BeforeRepair is set, no wait dialog is shown.
  TQDXDatabaseEvent BeforeRepair;
  TQDXDatabaseEvent AfterRepair;
  // Progress of a rebuild in percent; clear `continueWork` to stop copying.
  TQDXDatabaseProgressEvent OnRepairProgress;
  // The same triples around CompactDatabase, ChangePassword and ChangeDatabaseSettings.
  TQDXDatabaseEvent BeforeCompact;
  TQDXDatabaseProgressEvent OnCompactProgress;
  TQDXDatabaseEvent AfterCompact;
  TQDXDatabaseEvent BeforeChangePassword;
  TQDXDatabaseProgressEvent OnChangePasswordProgress;
  TQDXDatabaseEvent AfterChangePassword;
  TQDXDatabaseEvent BeforeChangeDatabaseSettings;
  TQDXDatabaseProgressEvent OnChangeDatabaseSettingsProgress;
  TQDXDatabaseEvent AfterChangeDatabaseSettings;

  // ---- Operations -------------------------------------------------------------------------------
  // Creates the file named by DatabaseFileName. Needs the component disconnected.
  void CreateDatabase();
  // Deletes the file named by DatabaseFileName. Needs the component disconnected.
  void DeleteDatabase();
  // The table names of the file; connects for the call when needed. Errors leave `names` empty.
  void GetTableNames(std::vector<std::string>& names);
  // Connects when needed (and stays connected).
  bool TableExists(std::string_view tableName);
  void StartTransaction();
  void Commit(bool flush = true);
  void Rollback();
  bool InTransaction() const;

  // Rebuilds the file table by table into "<DatabaseFileName>.tmp" and puts the new file in
  // place of the old one (invariant 3). The component must be disconnected and is left so.
  // Answers the texts of what could not be copied, each followed by a line break (empty when
  // everything was copied). Raises when the rebuild fails.
  std::string Rebuild();

  // The file rewritten the same way with other settings. These are not repairs: when anything
  // could not be copied, or the copy was stopped, the original file stays as it was and the
  // answer holds the texts of what would have been lost. The component must be disconnected.
  // Without free pages anywhere in the file.
  std::string CompactDatabase();
  // Enciphered with `newPassword` (empty: no password) and `cryptoAlgorithm`; Password and
  // CryptoAlgorithm hold them once the new file is in place.
  std::string ChangePassword(std::string newPassword, uint8_t cryptoAlgorithm);
  std::string ChangePassword(std::string newPassword) {
    return ChangePassword(std::move(newPassword), CryptoAlgorithm);
  }
  // With another page size, extent size and connection limit; the properties hold them once the
  // new file is in place.
  std::string ChangeDatabaseSettings(int32_t pageSize, int32_t pagesPerExtent,
                                     int32_t maxConnections);

  // ---- For sessions and datasets ----------------------------------------------------------------
  // The session the component is registered in (null after that session was destroyed, until
  // the component registers again).
  TQDXSession* Session() const { return session_; }
  // Created by a session for an unregistered name.
  bool IsTemporary() const { return temporary_; }
  // The engine session while connected, else null.
  TQDXLocalSession* EngineSession() const { return engineSession_; }
  // Datasets using the database through their session.
  int32_t RefCount() const { return refCount_; }
  void AddDataSet(TQDXDatabaseUser& dataSet);
  void RemoveDataSet(TQDXDatabaseUser& dataSet);
  int32_t DataSetCount() const { return static_cast<int32_t>(dataSets_.size()); }

  // A temporary component for `fileName` in this component's session, named from `stem` (with a
  // number when the session has that name already), registered there until it is destroyed. It
  // never prompts and skips the missing-file check; it has no password.
  std::unique_ptr<TQDXDatabase> NewTemporaryPeer(std::string_view stem, std::string fileName);

  // Raises EDatabaseError with the component's name in front.
  [[noreturn]] void Error(std::string_view message) const;

 private:
  friend class TQDXSession;

  void Connect();
  void Disconnect();
  // Checks DatabaseName and attaches to the session named by SessionName, activating it.
  void CheckSessionAndName();
  void CheckDisconnected() const;
  void CheckConnected() const;
  // Steps 4 and 5 of connecting: the engine session, opened, with the password retry.
  void OpenEngineSession();
  // Made by the session's engine session manager; null when the session has none.
  std::unique_ptr<TQDXLocalSession> NewEngineSession() const;
  // Whether the user wants another try after the engine refused the password.
  bool AskAgainForPassword();
  // Step 6: the repair or conversion prompt and the rebuild.
  void OfferRepair();
  void CopyBackSettings();
  void FreeEngineSession() noexcept;
  // A component of this session with the same name whose engine session may be borrowed.
  TQDXDatabase* SharedHandleSource() const;
  // What a rebuild runs for (repair, compact, ...): its events, its message, the settings of
  // the new file (qdx_database_rebuild.cpp).
  struct RebuildJob;
  // Rewrites the file for `job` (invariant 3); answers the texts of what could not be copied.
  std::string RunRebuild(const RebuildJob& job);
  // Copies every table of this (connected) database into `target`, reporting progress.
  std::string CopyTablesInto(TQDXDatabase& target, const RebuildJob& job,
                             TQDXProgressDisplay* display);
  bool ReportRebuildProgress(const RebuildJob& job, int percent, TQDXProgressDisplay* display);

  std::string name_;
  const void* owner_;
  std::string databaseFileName_;
  std::string databaseName_;
  std::string sessionName_;
  bool keepConnection_ = true;

  TQDXSession* session_ = nullptr;
  std::unique_ptr<TQDXLocalSession> ownEngineSession_;
  // The own engine session, or one borrowed from another component (shared handle).
  TQDXLocalSession* engineSession_ = nullptr;
  std::vector<TQDXDatabaseUser*> dataSets_;
  int32_t refCount_ = 0;
  bool temporary_ = false;
  bool sharedHandle_ = false;
  // Set while a rebuild runs: no repair or conversion prompt.
  bool quiet_ = false;
  // Set while the component disconnects: datasets closing then give it back to the session,
  // which must neither disconnect nor free it in the middle.
  bool disconnecting_ = false;
};

}  // namespace qdx
