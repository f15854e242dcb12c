// The copy of a database file under its database lock: taken while the owner has the file
// open, it holds what was committed; it waits for the lock and gives up without touching the
// destination; a commit cut off by a crash is rolled back in the copy and left alone in the
// source; a file that is no database is refused.
#include "engine/disk/database_copy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/disk/commit_journal.h"
#include "engine/disk/database_file.h"
#include "engine/disk/database_header.h"
#include "engine/disk/database_lock_bytes.h"
#include "engine/foundation/except.h"
#include "tests/disk/disk_table_support.h"

namespace qdx {
namespace {

using testing::TDiskCursor;
using testing::TRow;

class DatabaseCopyTest : public testing::TDiskTableTest {
 protected:
  std::string Sibling(const std::string& name) const {
    return (std::filesystem::path(path).parent_path() / name).string();
  }
  static std::vector<uint8_t> Bytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::vector<TRow> RowsOf(const std::string& file) {
    TQDXBaseSession reader;
    TQDXDiskDatabaseData data(file);
    data.AddSession(reader);
    std::vector<TRow> rows;
    {
      TDiskCursor cursor(data, reader, "Kosten");
      rows = cursor.ReadAll();
    }
    data.RemoveSession(reader);
    return rows;
  }
  int32_t CodeOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const EQDXException& e) {
      return e.ErrorCode();
    }
    return 0;
  }
};

TEST_F(DatabaseCopyTest, CopyTakenWhileTheOwnerHasTheFileOpenHoldsItsCommits) {
  Open();
  CreateKosten();
  const std::vector<TRow> rows = {{"Shell", 40}, {"Esso", 55}, {"Total", 61}};
  {
    TDiskCursor cursor(*database, session, "Kosten");
    for (const TRow& row : rows) cursor.Insert(row);
  }
  const std::string backup = Sibling("backup.qdx");
  const TQDXDatabaseCopy copy = CopyDatabaseFile(path, backup);

  EXPECT_FALSE(copy.RolledBack);
  EXPECT_EQ(copy.Size, static_cast<int64_t>(std::filesystem::file_size(backup)));
  EXPECT_EQ(copy.ChangeCounter, ReadDatabaseChangeCounter(path));
  EXPECT_FALSE(std::filesystem::exists(backup + ".part"));
  EXPECT_EQ(RowsOf(backup), rows);
  // The owner goes on committing after the copy; the copy keeps its moment.
  {
    TDiskCursor cursor(*database, session, "Kosten");
    cursor.Insert({"Aral", 70});
  }
  EXPECT_EQ(RowsOf(backup), rows);
  EXPECT_GT(ReadDatabaseChangeCounter(path), copy.ChangeCounter);
}

TEST_F(DatabaseCopyTest, HeldDatabaseLockIsWaitedForThenRefusedLeavingTheDestination) {
  const std::string backup = Sibling("backup.qdx");
  { std::ofstream(backup) << "older backup"; }
  TQDXDatabaseFile committer;
  committer.OpenFile(path, TQDXDatabaseFile::kAccessReadWrite, TQDXDatabaseFile::kShareReadWrite);
  const TQDXDatabaseLayout layout;
  TQDXDatabaseLockBytes locks(committer, layout);
  ASSERT_TRUE(locks.LockDatabase());

  EXPECT_EQ(CodeOf([&] { CopyDatabaseFile(path, backup, {.LockRetryCount = 3, .LockRetryPauseMs = 1}); }),
            30650);
  EXPECT_EQ(Bytes(backup), std::vector<uint8_t>({'o', 'l', 'd', 'e', 'r', ' ', 'b', 'a', 'c', 'k',
                                                 'u', 'p'}));
  EXPECT_FALSE(std::filesystem::exists(backup + ".part"));

  ASSERT_TRUE(locks.UnlockDatabase());
  EXPECT_NO_THROW(CopyDatabaseFile(path, backup));
}

// A commit cut off after it overwrote a page: the header carries the marker and a hot journal
// holds the page as it was.
class InterruptedCommitCopyTest : public DatabaseCopyTest {
 protected:
  void SetUp() override {
    DatabaseCopyTest::SetUp();
    Open();
    CreateKosten();
    {
      TDiskCursor cursor(*database, session, "Kosten");
      cursor.Insert({"Shell", 40});
    }
    Close();
    committed = Bytes(path);
    const TQDXDatabaseLayout layout;
    const int64_t page = layout.PagePosition(2);
    const TQDXDatabaseHeader header = TQDXDatabaseHeader::Decode(committed);
    TQDXCommitJournal journal;
    journal.Begin(path,
                  {header.PageSize, header.ChangeCounter, static_cast<int64_t>(committed.size()),
                   layout.HeaderPosition(), {committed.data(), kMainHeaderSize}},
                  /*durable=*/false);
    journal.AddPage(page, {committed.data() + page, header.PageSize});
    journal.Seal(/*durable=*/false);
    journal.Abandon();
    Patch(page, std::vector<uint8_t>(header.PageSize, 0xAB));
    Patch(kFileStateOffset, {kFileStateWriting});
    torn = Bytes(path);
  }

  std::vector<uint8_t> committed;
  std::vector<uint8_t> torn;
};

TEST_F(InterruptedCommitCopyTest, CopyIsRolledBackFromTheJournalAndTheSourceLeftAlone) {
  const std::string backup = Sibling("backup.qdx");
  const TQDXDatabaseCopy copy = CopyDatabaseFile(path, backup);

  EXPECT_TRUE(copy.RolledBack);
  EXPECT_EQ(Bytes(backup), committed);
  EXPECT_EQ(RowsOf(backup), std::vector<TRow>({{"Shell", 40}}));
  EXPECT_EQ(Bytes(path), torn);
  EXPECT_GT(std::filesystem::file_size(TQDXCommitJournal::PathFor(path)), 0u);
  EXPECT_FALSE(std::filesystem::exists(TQDXCommitJournal::PathFor(backup + ".part")));
  EXPECT_FALSE(std::filesystem::exists(TQDXCommitJournal::PathFor(backup)));
}

TEST_F(InterruptedCommitCopyTest, WithoutItsJournalTheFileNeedsRepairAndNoCopyIsMade) {
  std::filesystem::remove(TQDXCommitJournal::PathFor(path));
  const std::string backup = Sibling("backup.qdx");

  EXPECT_EQ(CodeOf([&] { CopyDatabaseFile(path, backup); }), 30651);
  EXPECT_FALSE(std::filesystem::exists(backup));
  EXPECT_FALSE(std::filesystem::exists(backup + ".part"));
}

TEST_F(DatabaseCopyTest, FilesThatAreNoDatabaseAreRefused) {
  const std::string empty = Sibling("empty.qdx");
  const std::string text = Sibling("notes.qdx");
  const std::string folder = Sibling("folder.qdx");
  { std::ofstream(empty) << ""; }
  { std::ofstream(text) << "Datum;Bedrijf;KMStand\n2024-01-05;Shell;100\n"; }
  std::filesystem::create_directory(folder);
  const struct {
    std::string source;
    int32_t code;
  } cases[] = {
      {empty, 30485}, {text, 10470}, {folder, 30471}, {Sibling("missing.qdx"), 30364}};
  for (const auto& c : cases) {
    const std::string backup = Sibling("backup.qdx");
    EXPECT_EQ(CodeOf([&] { CopyDatabaseFile(c.source, backup); }), c.code) << c.source;
    EXPECT_FALSE(std::filesystem::exists(backup)) << c.source;
    EXPECT_FALSE(std::filesystem::exists(backup + ".part")) << c.source;
  }
}

}  // namespace
}  // namespace qdx
