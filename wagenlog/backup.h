// The program's backups: copies of its database in the folder "backups" beside it, made when a
// session changed the database and before a restore, the last ten kept.
//
// A backup is named after the database and the local time it was made,
// "<name>-YYYYMMDD-HHMMSS.qdx", so that the names sort by time; a second backup within the same
// second gets "_2", "_3", ... before the extension (sorting after the first). Each is a whole
// copy taken under the database's lock (engine/disk/database_copy.h), so it is one committed
// state even while another program in multi-user mode writes the file, and opens as any
// database does.
//
// Not safe for concurrent use on one folder: the program makes its backups from its window
// thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qdx::wagenlog {

inline constexpr int kBackupsKept = 10;
inline constexpr const char* kBackupFolderName = "backups";

// A moment to the second, local time.
struct BackupTime {
  int32_t Year = 0;
  int32_t Month = 0;
  int32_t Day = 0;
  int32_t Hour = 0;
  int32_t Minute = 0;
  int32_t Second = 0;

  static BackupTime Now();
  auto operator<=>(const BackupTime&) const = default;
};

struct BackupEntry {
  std::string Path;
  BackupTime Time;
  int32_t Sequence = 1;  // 1 for the first backup of its second, then 2, 3, ...

  auto operator<=>(const BackupEntry& other) const {
    if (const auto order = Time <=> other.Time; order != 0) return order;
    return Sequence <=> other.Sequence;
  }
  bool operator==(const BackupEntry& other) const = default;
};

class BackupFolder {
 public:
  // The backups of the database file `databaseFile`.
  explicit BackupFolder(std::string databaseFile);

  const std::string& DatabaseFile() const { return databaseFile_; }
  const std::string& Path() const { return folder_; }

  // The backups of this database, oldest first. Files of other names are not backups of it.
  std::vector<BackupEntry> List() const;
  // Copies the database into the folder (made when missing) under the name of `time`, then
  // removes the oldest backups beyond kBackupsKept. Raises the copy's EQDXException; 10104 when
  // the folder cannot be made.
  BackupEntry Make(const BackupTime& time);
  // Puts `backup` in place of the database, after keeping the database as it is as a backup of
  // `time`. The database must not be open in this process. The backup being restored is never
  // the one removed to keep ten.
  BackupEntry Restore(const BackupEntry& backup, const BackupTime& time);

 private:
  BackupEntry MakeUnpruned(const BackupTime& time);
  void Prune(const std::string& keep);

  std::string databaseFile_;
  std::string folder_;
  std::string stem_;  // the database's file name without ".qdx"
};

// The name of the backup of `stem` made at `time` (sequence 1: no suffix).
std::string BackupFileName(const std::string& stem, const BackupTime& time, int32_t sequence);

// The expense records a database file holds (opened read-only, single-user, as `qdx tables`
// does); -1 when it cannot be read (another program holds it, a password is needed, damage).
int64_t CountExpenseRecords(const std::string& databaseFile, const std::string& password);

}  // namespace qdx::wagenlog
