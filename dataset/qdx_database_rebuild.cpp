// The rebuild of a database file: every table is copied into a new file, "<DatabaseFileName>.tmp",
// which then takes the old file's place. Repair and conversion run it as it is; compacting,
// changing the password and changing the file's settings run it with the new file's settings
// changed and keep the original when anything could not be copied.
//
// The old file is never changed: the new one is written through a temporary database component,
// its free tail released, flushed to disk and renamed over the old one in one step
// (rebuild_file.h). A rebuild that fails, or that the user stops, deletes the new file and
// leaves the old one as it was.
#include <memory>
#include <span>

#include "dataset/dataset_messages.h"
#include "dataset/local_engine/local_session.h"
#include "dataset/process_lock.h"
#include "dataset/prompts.h"
#include "dataset/qdx_database.h"
#include "dataset/qdx_session.h"
#include "dataset/rebuild_file.h"
#include "dataset/table_copy.h"
#include "engine/disk/disk_database_data.h"
#include "engine/foundation/except.h"
#include "engine/foundation/format.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/file.h"
#include "engine/foundation/platform/system_error.h"
#include "engine/foundation/scope_guard.h"

namespace qdx {

namespace {

int64_t SizeOf(const std::string& fileName) {
  platform::FileStatus status;
  return platform::StatFile(fileName, status) ? status.Size : 0;
}

// Opens the file so that no other handle can: 30364 (a sharing violation) when another one has
// it open already.
void HoldExclusively(platform::File& hold, const std::string& fileName) {
  if (hold.Open(fileName, platform::FileAccess::Read, platform::FileShare::None)) return;
  const int code = platform::LastSystemError();
  Raise(msg::kCannotOpenFile, {fileName, code, platform::SystemErrorMessage(code)});
}

}  // namespace

struct TQDXDatabase::RebuildJob {
  const TQDXDatabaseEvent& Before;
  const TQDXDatabaseProgressEvent& Progress;
  const TQDXDatabaseEvent& After;
  // The wait dialog's message.
  const char* Message;
  // Whether the new file replaces the old one even though something could not be copied (a
  // repair saves what it can; the other jobs must not lose anything).
  bool ReplaceDespiteLosses;
  // The settings of the new file.
  std::string Password;
  uint8_t CryptoAlgorithm;
  int32_t PageSize;
  int32_t PagesPerExtent;
  int32_t MaxConnections;
};

bool TQDXDatabase::ReportRebuildProgress(const RebuildJob& job, int percent,
                                         TQDXProgressDisplay* display) {
  if (job.Progress) {
    bool continueWork = true;
    job.Progress(*this, percent, continueWork);
    return continueWork;
  }
  if (display == nullptr) return true;
  display->SetProgress(percent);
  return !display->Aborted();
}

std::string TQDXDatabase::CopyTablesInto(TQDXDatabase& target, const RebuildJob& job,
                                         TQDXProgressDisplay* display) {
  std::vector<std::string> tables;
  engineSession_->GetTableNames(tables);
  const int64_t count = static_cast<int64_t>(tables.size());
  std::string errors;
  for (int64_t i = 0; i < count; ++i) {
    const int from = static_cast<int>(i * 100 / count);
    const int to = static_cast<int>((i + 1) * 100 / count);
    if (!ReportRebuildProgress(job, from, display)) {
      errors += dsmsg::kTerminatedByUser;
      errors += "\n";
      break;
    }
    const TQDXTableCopyResult copied =
        CopyTable(*engineSession_, tables[static_cast<size_t>(i)], *target.engineSession_,
                  /*repairMode=*/true, [&](int percent) {
                    return ReportRebuildProgress(job, from + (to - from) * percent / 100, display);
                  });
    errors += copied.Errors;
    if (copied.Stopped) break;
  }
  return errors;
}

std::string TQDXDatabase::Rebuild() {
  return RunRebuild({BeforeRepair, OnRepairProgress, AfterRepair, dsmsg::kRepairingDatabase,
                     /*ReplaceDespiteLosses=*/true, Password, CryptoAlgorithm, PageSize,
                     PagesPerExtent, MaxConnections});
}

std::string TQDXDatabase::CompactDatabase() {
  return RunRebuild({BeforeCompact, OnCompactProgress, AfterCompact, dsmsg::kCompactingDatabase,
                     /*ReplaceDespiteLosses=*/false, Password, CryptoAlgorithm, PageSize,
                     PagesPerExtent, MaxConnections});
}

std::string TQDXDatabase::ChangePassword(std::string newPassword, uint8_t cryptoAlgorithm) {
  const RebuildJob job{BeforeChangePassword,
                       OnChangePasswordProgress,
                       AfterChangePassword,
                       dsmsg::kChangingDatabasePassword,
                       /*ReplaceDespiteLosses=*/false,
                       newPassword,
                       cryptoAlgorithm,
                       PageSize,
                       PagesPerExtent,
                       MaxConnections};
  std::string errors = RunRebuild(job);
  if (errors.empty()) {
    Password = std::move(newPassword);
    CryptoAlgorithm = cryptoAlgorithm;
  }
  return errors;
}

std::string TQDXDatabase::ChangeDatabaseSettings(int32_t pageSize, int32_t pagesPerExtent,
                                                 int32_t maxConnections) {
  const RebuildJob job{BeforeChangeDatabaseSettings,
                       OnChangeDatabaseSettingsProgress,
                       AfterChangeDatabaseSettings,
                       dsmsg::kChangingDatabaseSettings,
                       /*ReplaceDespiteLosses=*/false,
                       Password,
                       CryptoAlgorithm,
                       pageSize,
                       pagesPerExtent,
                       maxConnections};
  std::string errors = RunRebuild(job);
  if (errors.empty()) {
    PageSize = pageSize;
    PagesPerExtent = pagesPerExtent;
    MaxConnections = maxConnections;
  }
  return errors;
}

std::string TQDXDatabase::RunRebuild(const RebuildJob& job) {
  const platform::CriticalSectionGuard lock(ProcessLock());
  CheckSessionAndName();
  CheckDisconnected();
  const std::string targetFile = databaseFileName_ + kRebuildSuffix;

  std::unique_ptr<TQDXProgressDisplay> display;
  if (job.Before) {
    job.Before(*this);
  } else if (!SilentMode) {
    display = Prompts().BeginProgress(job.Message);
    display->SetProgress(0);
  }

  std::string errors;
  bool stopped = false;
  // The source is opened exclusively while its tables are copied, and this handle keeps every
  // other program out of it from then until the rebuilt file has taken its place: one that
  // opened it in between would go on writing a file that is no longer the database.
  platform::File hold;
  try {
    CheckFreeSpaceFor(targetFile, SizeOf(databaseFileName_));
    // A file another program has open is refused before anything is made; the exclusive open
    // of the copy keeps it so.
    if (platform::FileExists(databaseFileName_)) {
      HoldExclusively(hold, databaseFileName_);
      hold.Close();
    }

    // A file left by an earlier rebuild that failed is replaced.
    if (platform::FileExists(targetFile)) platform::DeleteFile(targetFile);
    const std::unique_ptr<TQDXDatabase> owned =
        NewTemporaryPeer(dsmsg::kRebuildDatabaseStem, targetFile);
    TQDXDatabase& target = *owned;
    target.Password = job.Password;
    target.CryptoAlgorithm = job.CryptoAlgorithm;
    target.PageSize = job.PageSize;
    target.PagesPerExtent = job.PagesPerExtent;
    target.MaxConnections = job.MaxConnections;
    target.CreateDatabase();
    target.Open();

    {
      const ScopedValue exclusive(Exclusive, true);
      const ScopedValue silent(SilentMode, true);
      Open();
    }
    // The disk engine reads the flag of the source's database while its tables are copied.
    engineSession_->SetInTransactionFlag(true);
    errors = CopyTablesInto(target, job, display.get());
    stopped = errors.ends_with(std::string(dsmsg::kTerminatedByUser) + "\n");
    if (!stopped) ReportRebuildProgress(job, 100, display.get());
    engineSession_->SetInTransactionFlag(false);
    Close();
    HoldExclusively(hold, databaseFileName_);

    if (auto* disk = dynamic_cast<TQDXDiskDatabaseData*>(target.engineSession_->DatabaseData())) {
      disk->TruncateFreeTail();
    }
    target.Close();
  } catch (...) {
    FreeEngineSession();
    platform::DeleteFile(targetFile);
    throw;
  }

  if (job.After) {
    job.After(*this);
  } else {
    display.reset();
  }
  if (stopped || (!errors.empty() && !job.ReplaceDespiteLosses)) {
    // Half a database must not replace a whole one: the old file stays.
    platform::DeleteFile(targetFile);
    return errors;
  }
  try {
    ReplaceWithRebuiltFile(targetFile, databaseFileName_, name_);
  } catch (...) {
    platform::DeleteFile(targetFile);
    throw;
  }
  return errors;
}

}  // namespace qdx
