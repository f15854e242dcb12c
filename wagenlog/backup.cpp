// The program's backups (backup.h).
#include "wagenlog/backup.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

#include "engine/core/base_session.h"
#include "engine/core/table_cursor.h"
#include "engine/disk/database_copy.h"
#include "engine/disk/disk_database_data.h"
#include "engine/disk/disk_table_data.h"
#include "engine/disk/read_only_database.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/clock.h"
#include "engine/foundation/platform/file.h"
#include "wagenlog/schema.h"

namespace qdx::wagenlog {
namespace {

constexpr std::string_view kExtension = ".qdx";
constexpr size_t kStampLength = 15;  // YYYYMMDD-HHMMSS

std::optional<int32_t> Number(std::string_view digits) {
  int32_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc{} || end != digits.data() + digits.size() || digits.empty()) {
    return std::nullopt;
  }
  return value;
}

// "YYYYMMDD-HHMMSS" read back; digits only, in their places.
std::optional<BackupTime> ParseStamp(std::string_view stamp) {
  if (stamp.size() != kStampLength || stamp[8] != '-') return std::nullopt;
  for (size_t i = 0; i < stamp.size(); ++i) {
    if (i != 8 && (stamp[i] < '0' || stamp[i] > '9')) return std::nullopt;
  }
  BackupTime time;
  time.Year = *Number(stamp.substr(0, 4));
  time.Month = *Number(stamp.substr(4, 2));
  time.Day = *Number(stamp.substr(6, 2));
  time.Hour = *Number(stamp.substr(9, 2));
  time.Minute = *Number(stamp.substr(11, 2));
  time.Second = *Number(stamp.substr(13, 2));
  return time;
}

// A backup of `stem`: "<stem>-<stamp>[_<n>].qdx" with n of 2 or more.
std::optional<BackupEntry> ParseBackupName(std::string_view name, std::string_view stem) {
  if (!name.starts_with(stem) || !name.ends_with(kExtension)) return std::nullopt;
  name.remove_prefix(stem.size());
  name.remove_suffix(kExtension.size());
  if (!name.starts_with('-') || name.size() < kStampLength + 1) return std::nullopt;
  const auto time = ParseStamp(name.substr(1, kStampLength));
  if (!time) return std::nullopt;
  BackupEntry entry{.Path = {}, .Time = *time, .Sequence = 1};
  const std::string_view rest = name.substr(1 + kStampLength);
  if (rest.empty()) return entry;
  if (!rest.starts_with('_')) return std::nullopt;
  const auto sequence = Number(rest.substr(1));
  if (!sequence || *sequence < 2 || rest[1] == '0') return std::nullopt;
  entry.Sequence = *sequence;
  return entry;
}

std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

BackupTime BackupTime::Now() {
  const platform::LocalTime now = platform::CurrentLocalTime();
  const int32_t seconds = now.Milliseconds / 1000;
  return {now.Year,         static_cast<int32_t>(now.Month), static_cast<int32_t>(now.Day),
          seconds / 3600, seconds / 60 % 60,                 seconds % 60};
}

std::string BackupFileName(const std::string& stem, const BackupTime& time, int32_t sequence) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d%02d", time.Year, time.Month, time.Day,
                time.Hour, time.Minute, time.Second);
  std::string name = stem + stamp;
  // Appended piece by piece: GCC 12 at -O3 mistakes a literal plus a temporary string for an
  // overlapping copy (-Wrestrict).
  if (sequence > 1) name.append("_").append(std::to_string(sequence));
  return name.append(kExtension);
}

BackupFolder::BackupFolder(std::string databaseFile) : databaseFile_(std::move(databaseFile)) {
  auto [folder, name] = SplitPath(databaseFile_);
  folder_ = folder == "/" ? std::string() : folder;
  folder_.append("/").append(kBackupFolderName);
  stem_ = name.ends_with(kExtension) ? name.substr(0, name.size() - kExtension.size()) : name;
}

std::vector<BackupEntry> BackupFolder::List() const {
  std::vector<std::string> names;
  if (!platform::ListDirectory(folder_, names)) return {};
  std::vector<BackupEntry> backups;
  for (const std::string& name : names) {
    if (auto entry = ParseBackupName(name, stem_)) {
      entry->Path = folder_ + "/" + name;
      backups.push_back(std::move(*entry));
    }
  }
  std::sort(backups.begin(), backups.end());
  return backups;
}

BackupEntry BackupFolder::MakeUnpruned(const BackupTime& time) {
  if (!platform::EnsureDirectory(folder_)) Raise(msg::kCannotCreateStreamFile, {folder_});
  BackupEntry entry{.Path = {}, .Time = time, .Sequence = 1};
  // A clash within one second takes the next free sequence number: a backup is never replaced.
  for (;; ++entry.Sequence) {
    entry.Path = folder_ + "/" + BackupFileName(stem_, time, entry.Sequence);
    if (!platform::FileExists(entry.Path)) break;
  }
  CopyDatabaseFile(databaseFile_, entry.Path);
  return entry;
}

void BackupFolder::Prune(const std::string& keep) {
  std::vector<BackupEntry> backups = List();
  std::erase_if(backups, [&](const BackupEntry& entry) { return entry.Path == keep; });
  const auto kept = static_cast<size_t>(keep.empty() ? kBackupsKept : kBackupsKept - 1);
  if (backups.size() <= kept) return;
  for (size_t i = 0; i < backups.size() - kept; ++i) platform::DeleteFile(backups[i].Path);
}

BackupEntry BackupFolder::Make(const BackupTime& time) {
  BackupEntry entry = MakeUnpruned(time);
  Prune({});
  return entry;
}

BackupEntry BackupFolder::Restore(const BackupEntry& backup, const BackupTime& time) {
  BackupEntry kept = MakeUnpruned(time);
  CopyDatabaseFile(backup.Path, databaseFile_);
  Prune(backup.Path);
  return kept;
}

int64_t CountExpenseRecords(const std::string& databaseFile, const std::string& password) {
  try {
    TQDXReadOnlyDatabase database(databaseFile, password);
    if (!database.Data().TableExists(kExpenseTable.Name)) return 0;
    TQDXTableReader table(database, kExpenseTable.Name);
    return table.Table().GetPhysicalRecordCount(table);
  } catch (const EQDXException&) {
    return -1;
  }
}

}  // namespace qdx::wagenlog
