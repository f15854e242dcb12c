// Record changes outside a transaction while the file system fails: every read and write of an
// insert, an update and a delete fails in turn (and every call after it). The
// change must raise the engine's error or succeed, never answer a bare false, and once the
// fault is gone the next change must not carry any part of the failed one into the file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/disk/database_header.h"
#include "engine/foundation/except.h"
#include "tests/disk/disk_table_support.h"
#include "tests/fault_file_system.h"

namespace qdx {
namespace testing {

void PrintTo(const TRow& row, std::ostream* out) {
  *out << "{" << row.name.value_or("<null>") << ", "
       << (row.amount ? std::to_string(*row.amount) : "<null>") << "}";
}

}  // namespace testing
namespace {

using testing::FaultFileSystem;
using testing::FileCall;
using testing::TDiskCursor;
using testing::TRow;

constexpr int64_t kFileStatePosition = 42;
constexpr int kRecords = 300;

bool RowLess(const TRow& a, const TRow& b) {
  return std::tie(a.amount, a.name) < std::tie(b.amount, b.name);
}

std::vector<TRow> Sorted(std::vector<TRow> rows) {
  std::sort(rows.begin(), rows.end(), RowLess);
  return rows;
}

// One record change on a cursor whose table was just opened; `Apply` does to the model what
// the change does to the table.
struct RecordChange {
  const char* Name;
  std::function<bool(TDiskCursor&)> Run;
  std::function<void(std::vector<TRow>&)> Apply;
};

const TRow kInserted{"Neu", 55};
const TRow kUpdated{"Geaendert", 999};
const TRow kAfterwards{"Danach", 77};
constexpr int kUpdatedNo = 5;  // physical record numbers, from 1
constexpr int kDeletedNo = 7;

const RecordChange kChanges[] = {
    {"insert",
     [](TDiskCursor& cursor) {
       cursor.Fill(kInserted);
       return cursor.Table().InsertRecord(cursor);
     },
     [](std::vector<TRow>& rows) { rows.push_back(kInserted); }},
    {"update",
     [](TDiskCursor& cursor) {
       cursor.Table().SetPhysicalRecNo(cursor, kUpdatedNo);
       cursor.Fill(kUpdated);
       return cursor.Table().UpdateRecord(cursor);
     },
     [](std::vector<TRow>& rows) { rows[kUpdatedNo - 1] = kUpdated; }},
    {"delete",
     [](TDiskCursor& cursor) {
       cursor.Table().SetPhysicalRecNo(cursor, kDeletedNo);
       return cursor.Table().DeleteRecord(cursor);
     },
     [](std::vector<TRow>& rows) { rows.erase(rows.begin() + (kDeletedNo - 1)); }},
};

struct FaultKind {
  FileCall Call;
  int Error;
};

const FaultKind kFaults[] = {{FileCall::Read, EIO}, {FileCall::Write, ENOSPC}};

class RecordChangeFaultsTest : public testing::TDiskTableTest {
 protected:
  void SetUp() override {
    TDiskTableTest::SetUp();
    Open();
    CreateKosten();
    {
      TDiskCursor cursor(*database, session, "Kosten");
      for (int i = 0; i < kRecords; ++i) {
        rows_.push_back({"Tanken " + std::to_string(i), (i * 37) % 101});
        cursor.Insert(rows_.back());
      }
    }
    Close();
    start_ = ReadAll();
  }

  bool LeftInCommit() const {
    return ReadAt(kFileStatePosition, 1).at(0) == kFileStateWriting;
  }

  // Runs `change` on a freshly opened database with the fault armed (n = 0: none) and answers
  // whether it succeeded; the database stays open.
  bool RunChange(const RecordChange& change, const FaultKind& fault, int64_t n,
                 FaultFileSystem& faults) {
    // The last round's database goes first: a second open of the file would be another
    // program's, and read-only.
    Close();
    WriteAll(start_);
    Open();
    TDiskCursor cursor(*database, session, "Kosten");
    platform::FileSystemScope scope(faults);
    if (n > 0) faults.Fail(fault.Call, n, fault.Error, FaultFileSystem::kForever);
    try {
      const bool done = change.Run(cursor);
      EXPECT_TRUE(done) << "a refusal without its cause";
      return done;
    } catch (const EQDXException& e) {
      EXPECT_NE(e.ErrorCode(), 0);
      return false;
    }
  }

  std::vector<TRow> rows_;
  std::vector<uint8_t> start_;
};

TEST_F(RecordChangeFaultsTest, AFailedChangeLeavesNothingForTheNextCommit) {
  int64_t failed = 0;
  for (const RecordChange& change : kChanges) {
    for (const FaultKind& fault : kFaults) {
      FaultFileSystem counter;
      ASSERT_TRUE(RunChange(change, fault, 0, counter));
      Close();
      const int64_t calls = counter.Count(fault.Call);
      for (int64_t n = 1; n <= calls; ++n) {
        SCOPED_TRACE(std::string(change.Name) + ", " + FileCallName(fault.Call) + " " +
                     std::to_string(n) + " of " + std::to_string(calls));
        FaultFileSystem faults;
        const bool done = RunChange(change, fault, n, faults);
        failed += done ? 0 : 1;
        if (LeftInCommit()) {  // the commit's own writes failed: the repair's case
          Close();
          continue;
        }
        {
          TDiskCursor cursor(*database, session, "Kosten");
          cursor.Insert(kAfterwards);
        }
        Close();
        std::vector<TRow> expected = rows_;
        if (done) change.Apply(expected);
        expected.push_back(kAfterwards);
        Open();
        TDiskCursor cursor(*database, session, "Kosten");
        EXPECT_EQ(Sorted(cursor.ReadAll()), Sorted(expected));
        EXPECT_EQ(cursor.Table().GetPhysicalRecordCount(cursor),
                  static_cast<int64_t>(expected.size()));
        cursor.CurrentIndexID = cursor.IndexID("ByAmount");
        EXPECT_EQ(Sorted(cursor.ReadAll()), Sorted(expected)) << "in the index";
      }
    }
  }
  EXPECT_GT(failed, 0);
}

// Inserts until one needs the file to grow on a full disk: the insert raises the system's
// reason instead of answering that it did not insert, and takes nothing with it.
TEST_F(RecordChangeFaultsTest, AFullDiskReadsAsAFullDisk) {
  WriteAll(start_);
  Open();
  int64_t inserted = 0;
  {
    TDiskCursor cursor(*database, session, "Kosten");
    FaultFileSystem faults;
    platform::FileSystemScope scope(faults);
    faults.Fail(FileCall::Truncate, 1, ENOSPC, FaultFileSystem::kForever);
    for (; inserted < 5000; ++inserted) {
      cursor.Fill({"Voll " + std::to_string(inserted), 1});
      bool done = false;
      try {
        done = cursor.Table().InsertRecord(cursor);
      } catch (const EQDXException& e) {
        EXPECT_THAT(e.Message(), ::testing::HasSubstr("No space left on device"));
        break;
      }
      ASSERT_TRUE(done) << "insert " << inserted << " answered false";
    }
    EXPECT_GT(faults.Failures(), 0);
  }
  ASSERT_LT(inserted, 5000) << "the file never grew";
  Close();
  Open();
  TDiskCursor cursor(*database, session, "Kosten");
  EXPECT_EQ(cursor.Table().GetPhysicalRecordCount(cursor), kRecords + inserted);
  cursor.CurrentIndexID = cursor.IndexID("ByAmount");
  EXPECT_EQ(static_cast<int64_t>(cursor.ReadAll().size()), kRecords + inserted);
}

}  // namespace
}  // namespace qdx
