// Backups of the program's database, made and checked with qdx: a backup taken while another
// process commits is one whole state of the file; the folder keeps the last ten, in the order
// they were made; a restore brings the records of the backup back and keeps the file it
// replaces as a backup; qdx backup refuses to write over a file.
#include "wagenlog/backup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "engine/disk/database_copy.h"
#include "engine/foundation/platform/clock.h"
#include "tests/disk/disk_test_support.h"
#include "tests/tools/qdx_run.h"
#include "tests/wagenlog/interchange_test_support.h"
#include "tools/qdx/qdx_expense_table.h"

namespace qdx {
namespace {

using ::testing::HasSubstr;
using testing::Outcome;
using testing::RunQdxInProcess;
using wagenlog::BackupEntry;
using wagenlog::BackupFolder;
using wagenlog::BackupTime;

constexpr const char* kTable = "Brandstofkosten";

class BackupsTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    ASSERT_EQ(RunQdxInProcess({"create", path, "--schema", "wagenlog"}).Status, 0);
  }

  std::string File(const std::string& name) const {
    return (std::filesystem::path(path).parent_path() / name).string();
  }
  // Fuel records whose odometer readings run from `first`, one per day of 2024.
  static std::vector<interchange::ExpenseRecord> Records(int first, int count) {
    std::vector<interchange::ExpenseRecord> records;
    for (int i = 0; i < count; ++i) {
      records.push_back(interchange::testing::Expense(
          interchange::testing::Day(2024, 1 + (first + i) / 28 % 12, 1 + (first + i) % 28),
          "Brandstof", "Shell", first + i, 40.0, 60.0));
    }
    return records;
  }
  void Insert(int first, int count) const {
    tools::ExpenseTableAccess program(path, "", kTable, /*readOnly=*/false);
    program.Store().InsertAll(Records(first, count));
  }
  static std::multiset<int> Readings(const std::string& file) {
    tools::ExpenseTableAccess reader(file, "", kTable, /*readOnly=*/true);
    std::multiset<int> readings;
    for (const auto& record : reader.Store().ReadAll()) readings.insert(record.KMStand.value_or(-1));
    return readings;
  }
  static std::multiset<int> Range(int first, int count) {
    std::multiset<int> readings;
    for (int i = 0; i < count; ++i) readings.insert(first + i);
    return readings;
  }
  static void ExpectChecksClean(const std::string& file) {
    const Outcome check = RunQdxInProcess({"check", file});
    EXPECT_EQ(check.Status, 0) << file << ": " << check.Err;
  }
  static BackupTime At(int second) {
    return {2024, 3, 9, 18, second / 60, second % 60};
  }
  static std::string Name(const BackupEntry& entry) {
    return std::filesystem::path(entry.Path).filename().string();
  }
};

// A writer process commits many records at a time while this one takes backups of a file of a
// few megabytes, whose copy takes many reads: each backup checks clean and holds a whole number
// of the writer's commits, the first records in order.
TEST_F(BackupsTest, BackupTakenWhileAnotherProcessCommitsIsOneWholeState) {
  constexpr int kBatch = 150;
  constexpr int kFirst = 30 * kBatch;
  Insert(0, kFirst);
  const int32_t start = ReadDatabaseChangeCounter(path);
  const pid_t writer = ::fork();
  if (writer == 0) {
    try {
      tools::ExpenseTableAccess program(path, "", kTable, /*readOnly=*/false);
      for (int first = kFirst;; first += kBatch) program.Store().InsertAll(Records(first, kBatch));
    } catch (...) {
    }
    ::_exit(1);
  }
  ASSERT_GT(writer, 0);
  for (int wait = 0; wait < 3000 && ReadDatabaseChangeCounter(path) < start + 3; ++wait) {
    platform::Sleep(10);
  }

  std::vector<int> counts;
  for (int i = 0; i < 8; ++i) {
    const std::string backup = File("backup" + std::to_string(i) + ".qdx");
    const Outcome made = RunQdxInProcess({"backup", path, backup});
    ASSERT_EQ(made.Status, 0) << made.Err;
    ExpectChecksClean(backup);
    const std::multiset<int> readings = Readings(backup);
    const int count = static_cast<int>(readings.size());
    EXPECT_EQ(count % kBatch, 0) << backup;
    EXPECT_EQ(readings, Range(0, count)) << backup;
    counts.push_back(count);
    platform::Sleep(20);
  }
  ::kill(writer, SIGKILL);
  int status = 0;
  ::waitpid(writer, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own";
  EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
  EXPECT_LT(counts.front(), counts.back()) << "the writer committed nothing during the backups";
}

TEST_F(BackupsTest, TheEleventhBackupRemovesTheOldest) {
  Insert(0, 2);
  BackupFolder folder(path);
  EXPECT_TRUE(folder.List().empty());
  std::vector<BackupEntry> made;
  for (int second = 0; second <= 10; ++second) made.push_back(folder.Make(At(second)));

  const std::vector<BackupEntry> kept = folder.List();
  ASSERT_EQ(kept.size(), 10u);
  EXPECT_EQ(kept, std::vector<BackupEntry>(made.begin() + 1, made.end()));
  EXPECT_FALSE(std::filesystem::exists(made.front().Path));
  EXPECT_EQ(Name(kept.front()), "test-20240309-180001.qdx");
  for (const BackupEntry& backup : kept) {
    ExpectChecksClean(backup.Path);
    EXPECT_EQ(wagenlog::CountExpenseRecords(backup.Path, ""), 2);
  }
}

TEST_F(BackupsTest, BackupsWithinOneSecondGetSequenceNumbersInOrder) {
  BackupFolder folder(path);
  const BackupEntry first = folder.Make(At(5));
  const BackupEntry second = folder.Make(At(5));
  const BackupEntry earlier = folder.Make(At(4));

  EXPECT_EQ(Name(first), "test-20240309-180005.qdx");
  EXPECT_EQ(Name(second), "test-20240309-180005_2.qdx");
  EXPECT_EQ(folder.List(), (std::vector<BackupEntry>{earlier, first, second}));
}

TEST_F(BackupsTest, OnlyThisDatabasesBackupsAreListed) {
  BackupFolder folder(path);
  EXPECT_TRUE(folder.List().empty());  // no folder yet
  const BackupEntry made = folder.Make(At(0));
  for (const char* foreign :
       {"other-20240309-180000.qdx", "test-2024.qdx", "test-20240309-180000.txt",
        "test-20240309-180000_1.qdx", "test-20240309-180000_02.qdx", "test-2024O309-180000.qdx",
        "test-extra-20240309-180000.qdx"}) {
    std::ofstream(folder.Path() + "/" + foreign) << "x";
  }
  EXPECT_EQ(folder.List(), std::vector<BackupEntry>{made});
  // A foreign file is never removed to keep ten.
  for (int second = 1; second <= 12; ++second) folder.Make(At(second));
  EXPECT_TRUE(std::filesystem::exists(folder.Path() + "/other-20240309-180000.qdx"));
}

// Ten backups, the oldest of the state before the last records: restoring it brings that state
// back, keeps the replaced file as the newest backup and still keeps ten.
TEST_F(BackupsTest, RestoreBringsTheRecordsBackAndKeepsTodaysFile) {
  Insert(0, 3);
  BackupFolder folder(path);
  const BackupEntry old = folder.Make(At(0));
  Insert(3, 4);
  for (int second = 1; second <= 9; ++second) folder.Make(At(second));
  ASSERT_EQ(folder.List().size(), 10u);

  const BackupEntry today = folder.Restore(old, At(10));

  EXPECT_EQ(Readings(path), Range(0, 3));
  ExpectChecksClean(path);
  EXPECT_EQ(wagenlog::CountExpenseRecords(today.Path, ""), 7);
  const std::vector<BackupEntry> kept = folder.List();
  ASSERT_EQ(kept.size(), 10u);
  EXPECT_EQ(kept.front(), old);
  EXPECT_EQ(kept.back(), today);
  EXPECT_EQ(Name(kept[1]), "test-20240309-180002.qdx");
  // The restored file is a database like any other: it takes new records.
  Insert(10, 1);
  EXPECT_EQ(Readings(path).size(), 4u);
}

TEST_F(BackupsTest, RecordCountOfAFileThatCannotBeReadIsMinusOne) {
  std::ofstream(File("notes.qdx")) << "not a database";
  EXPECT_EQ(wagenlog::CountExpenseRecords(File("notes.qdx"), ""), -1);
  EXPECT_EQ(wagenlog::CountExpenseRecords(File("missing.qdx"), ""), -1);
  EXPECT_EQ(wagenlog::CountExpenseRecords(path, ""), 0);
}

TEST_F(BackupsTest, QdxBackupWritesACopyAndNeverReplacesAFile) {
  Insert(0, 2);
  const std::string backup = File("copy.qdx");
  const Outcome made = RunQdxInProcess({"backup", path, backup});
  EXPECT_EQ(made.Status, 0) << made.Err;
  EXPECT_THAT(made.Out, HasSubstr("Backup written: " + backup));
  EXPECT_EQ(Readings(backup), Range(0, 2));

  Insert(2, 1);
  const Outcome again = RunQdxInProcess({"backup", path, backup});
  EXPECT_EQ(again.Status, 1);
  EXPECT_THAT(again.Err, HasSubstr("qdx: Cannot back up to '" + backup + "': the file already exists"));
  EXPECT_EQ(Readings(backup), Range(0, 2));

  EXPECT_EQ(RunQdxInProcess({"backup", path}).Status, 2);
  const Outcome notADatabase = RunQdxInProcess({"backup", File("missing.qdx"), File("x.qdx")});
  EXPECT_EQ(notADatabase.Status, 1);
  EXPECT_FALSE(std::filesystem::exists(File("x.qdx")));
}

}  // namespace
}  // namespace qdx
