// Open and commit of a database file while the file system fails: each case fails chosen calls
// through the fault file system and checks the error code the engine reports and the file it
// leaves behind (unchanged, committed, or marked for repair), which must open again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/page_handle.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/foundation/little_endian.h"
#include "tests/disk/disk_test_support.h"
#include "tests/fault_file_system.h"

namespace qdx {
namespace {

using testing::FaultFileSystem;
using testing::FileCall;
using testing::THeldDiskPageManager;

constexpr int64_t kFileStatePosition = 42;
constexpr int64_t kChangeCounterPosition = 38;
constexpr int64_t kForever = FaultFileSystem::kForever;

// What a failed or finished operation leaves in the file.
enum class After {
  Unchanged,  // byte for byte as before
  Committed,  // the commit's pages and a consistent header
  RolledBack,  // FileState 1 and the commit's journal: the next open rolls the commit back
};

const char* AfterName(After after) {
  switch (after) {
    case After::Unchanged:
      return "unchanged";
    case After::Committed:
      return "committed";
    case After::RolledBack:
      return "rolled back";
  }
  return "?";
}

struct FaultCase {
  FileCall call;
  int64_t nth;    // the first failing call of its kind, counted from the operation's start
  int64_t times;  // how many calls of the kind fail from there (kForever: all)
  int error;
  bool shortWrite;       // the nth write moves half its bytes; `times` writes after it fail
  int32_t expectedCode;  // 0: the operation succeeds all the same
  After after;
};

std::string Describe(const FaultCase& c) {
  return std::string(FileCallName(c.call)) + (c.shortWrite ? " (short)" : "") + " #" +
         std::to_string(c.nth) + (c.times == kForever ? "+" : "") + " errno " +
         std::to_string(c.error);
}

class FileFaultsTest : public qdx::testing::TempDirTest {
 protected:
  // A database with the three pages every database starts with and one record page.
  void SetUp() override {
    TempDirTest::SetUp();
    THeldDiskPageManager pm;
    Quick(pm);
    pm.CreateDatabaseFile(path, {});
    for (uint16_t type : {ptFileSystemDirectory, ptActiveSessionList, ptTableList}) {
      TQDXPageHandle page = TQDXPageHandle::Add(pm, kSystemSessionID, type);
      page->Data()[0] = 10;
    }
    TQDXPageHandle record = TQDXPageHandle::Add(pm, kSystemSessionID, ptTableRecord);
    recordPageNo_ = record->PageNo;
    record.Release();
    pm.ApplyChanges(kSystemSessionID);
    pm.CloseDatabaseFile();
    before_ = ReadAll();
  }

  static void Quick(TQDXDiskPageManager& pm) { pm.SetLockRetry(2, 1); }

  // Opens the file; answers whether it needs repair.
  bool Open(TQDXDiskPageManager& pm, bool* readOnly = nullptr) {
    Quick(pm);
    bool multiUser = false;
    bool repair = false;
    bool openedReadOnly = false;
    pm.OpenDatabaseFile(path, {}, multiUser, /*exclusive=*/false, repair, openedReadOnly);
    if (readOnly != nullptr) *readOnly = openedReadOnly;
    return repair;
  }

  // Changes the record page in session 0's cache; nothing is written yet.
  void ChangeRecordPage(TQDXDiskPageManager& pm) {
    TQDXPageHandle page = TQDXPageHandle::Get(pm, 0, recordPageNo_, true, ptTableRecord);
    page->Data()[0] = 'c';
    page->Dirty = true;
  }

  // The commit as the database makes it: the pages, then a flush.
  static void Commit(TQDXDiskPageManager& pm) {
    pm.ApplyChanges(0);
    pm.File().FlushFileBuffers();
  }

  // Checks the file against `after` (no faults may be armed) and that it opens again without a
  // repair question, as it was before or with the commit.
  void ExpectFile(After after, const std::string& context) {
    SCOPED_TRACE(context + ", file " + AfterName(after));
    const std::vector<uint8_t> file = ReadAll();
    ASSERT_EQ(file.size(), before_.size());
    const int32_t counterBefore = le::Load<int32_t>(&before_[kChangeCounterPosition]);
    switch (after) {
      case After::Unchanged:
        EXPECT_EQ(file, before_);
        break;
      case After::Committed:
        EXPECT_EQ(file[kFileStatePosition], kFileStateConsistent);
        EXPECT_EQ(le::Load<int32_t>(&file[kChangeCounterPosition]), counterBefore + 1);
        break;
      case After::RolledBack:
        EXPECT_EQ(file[kFileStatePosition], kFileStateWriting);
        EXPECT_EQ(le::Load<int32_t>(&file[kChangeCounterPosition]), counterBefore);
        break;
    }
    {
      THeldDiskPageManager reopened;
      EXPECT_FALSE(Open(reopened));
      TQDXPageHandle page = TQDXPageHandle::Get(reopened, 0, recordPageNo_, true, ptTableRecord);
      EXPECT_EQ(page->Data()[0], after == After::Committed ? 'c' : 0);
    }
    if (after == After::RolledBack) {
      EXPECT_EQ(ReadAll(), before_);
    }
  }

  void Arm(FaultFileSystem& faults, const FaultCase& c) {
    faults.Reset();
    if (c.shortWrite) {
      faults.ShortWrite(c.nth, c.error, c.times);
    } else {
      faults.Fail(c.call, c.nth, c.error, c.times);
    }
  }

  int32_t recordPageNo_ = -1;
  std::vector<uint8_t> before_;
};

// The calls of an open, in order: the probe for write access (open, read and write of byte 0),
// the open, the database lock, the signature search (read 2), the header (read 3), the unlock,
// the password block (read 4) and the lock block's size (read 5).
TEST_F(FileFaultsTest, OpenReportsEachFailingCallAndLeavesTheFileAsItWas) {
  const FaultCase cases[] = {
      {FileCall::Open, 2, 1, EACCES, false, 30364, After::Unchanged},
      {FileCall::Open, 2, 1, EMFILE, false, 30364, After::Unchanged},
      {FileCall::Lock, 1, kForever, EAGAIN, false, 20230, After::Unchanged},
      {FileCall::Read, 3, kForever, EIO, false, 10464, After::Unchanged},
      {FileCall::Read, 2, kForever, EIO, false, 10464, After::Unchanged},
      {FileCall::Read, 4, kForever, EIO, false, 30439, After::Unchanged},
      {FileCall::Read, 5, kForever, EIO, false, 30442, After::Unchanged},
      // A failure that goes away is retried once the handle proves valid.
      {FileCall::Read, 3, 1, EIO, false, 0, After::Unchanged},
      // A file system that cannot lock at all is used without locks.
      {FileCall::Lock, 1, kForever, ENOLCK, false, 0, After::Unchanged},
      {FileCall::Unlock, 1, kForever, EIO, false, 0, After::Unchanged},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(Describe(c));
    {
      FaultFileSystem faults;
      platform::FileSystemScope scope(faults);
      Arm(faults, c);
      THeldDiskPageManager pm;
      EXPECT_EQ(testing::QdxErrorCode([&] { Open(pm); }), c.expectedCode);
      EXPECT_EQ(pm.IsOpen(), c.expectedCode == 0);
      EXPECT_GT(faults.Failures(), 0);
    }
    ExpectFile(c.after, Describe(c));
  }
}

TEST_F(FileFaultsTest, AFileThatCannotBeWrittenToOpensReadOnly) {
  for (const int error : {EROFS, EACCES}) {
    FaultFileSystem faults;
    platform::FileSystemScope scope(faults);
    for (const FileCall call : {FileCall::Open, FileCall::Write}) {
      SCOPED_TRACE(std::string(FileCallName(call)) + " errno " + std::to_string(error));
      faults.Reset();
      faults.Fail(call, 1, error);  // the probe for write access
      THeldDiskPageManager pm;
      bool readOnly = false;
      EXPECT_FALSE(Open(pm, &readOnly));
      EXPECT_TRUE(readOnly);
      EXPECT_TRUE(pm.ReadOnly());
    }
  }
  ExpectFile(After::Unchanged, "read-only");
}

// The calls of a durable commit of one page, in order: the database lock, the header read, the
// journal's page record (write 1) and header (write 2) and its flush (flush 1), the header with
// FileState 1 (write 3) and a flush, the page (write 4) and a flush, the header with FileState
// 2 (write 5) and a flush, the journal cut, the unlock, and the caller's flush (flush 5).
TEST_F(FileFaultsTest, CommitReportsEachFailingCallAndLeavesTheFileRepairable) {
  const FaultCase cases[] = {
      {FileCall::Lock, 1, kForever, EAGAIN, false, 20213, After::Unchanged},
      {FileCall::Read, 1, kForever, EIO, false, 10464, After::Unchanged},
      {FileCall::Write, 1, kForever, ENOSPC, false, 30561, After::Unchanged},
      {FileCall::Write, 3, kForever, ENOSPC, false, 10462, After::Unchanged},
      {FileCall::Write, 4, kForever, EIO, false, 10469, After::RolledBack},
      {FileCall::Write, 4, kForever, ENOSPC, true, 10469, After::RolledBack},
      // A torn page whose rest fails once: the retry writes the page whole.
      {FileCall::Write, 4, 1, ENOSPC, true, 0, After::Committed},
      {FileCall::Write, 5, kForever, EIO, false, 10462, After::RolledBack},
      // The journal cannot be made durable: the file is not touched.
      {FileCall::Flush, 1, kForever, EIO, false, 30379, After::Unchanged},
      // The flush after the marker fails: the commit writes the images back itself.
      {FileCall::Flush, 2, kForever, EIO, false, 30379, After::Unchanged},
      {FileCall::Flush, 5, kForever, EIO, false, 30379, After::Committed},
      // Failures that go away are retried once the handle proves valid.
      {FileCall::Write, 4, 1, EIO, false, 0, After::Committed},
      {FileCall::Flush, 1, 1, EIO, false, 0, After::Committed},
      {FileCall::Unlock, 1, kForever, EIO, false, 0, After::Committed},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(Describe(c));
    WriteAll(before_);
    {
      THeldDiskPageManager pm;
      Open(pm);
      ChangeRecordPage(pm);
      FaultFileSystem faults;
      platform::FileSystemScope scope(faults);
      Arm(faults, c);
      EXPECT_EQ(testing::QdxErrorCode([&] { Commit(pm); }), c.expectedCode);
      EXPECT_GT(faults.Failures(), 0);
      faults.Reset();
      // The pages stay with the session for a rollback.
      if (pm.HasPendingChanges(0)) pm.CancelChanges(0);
    }
    ExpectFile(c.after, Describe(c));
  }
}

// Every call of every kind in turn fails, and all after it: the open or the commit either
// succeeds or raises an engine error, and the file opens again afterwards.
TEST_F(FileFaultsTest, EveryFailingCallOfOpenAndCommitLeavesAUsableFile) {
  const FileCall kinds[] = {FileCall::Open,  FileCall::Read, FileCall::Write,  FileCall::Truncate,
                            FileCall::Flush, FileCall::Lock, FileCall::Unlock, FileCall::Stat};
  FaultFileSystem counter;
  {
    platform::FileSystemScope scope(counter);
    THeldDiskPageManager pm;
    Open(pm);
    ChangeRecordPage(pm);
    Commit(pm);
  }
  int64_t runs = 0;
  for (const FileCall kind : kinds) {
    for (int64_t n = 1; n <= counter.Count(kind); ++n) {
      for (const int error : {EIO, EAGAIN}) {
        const FaultCase c{kind, n, kForever, error, false, 0, After::Unchanged};
        SCOPED_TRACE(Describe(c));
        WriteAll(before_);
        FaultFileSystem faults;
        bool committed = false;
        {
          platform::FileSystemScope scope(faults);
          Arm(faults, c);
          THeldDiskPageManager pm;
          try {
            Open(pm);
            ChangeRecordPage(pm);
            Commit(pm);
            committed = true;
          } catch (const EQDXException& e) {
            EXPECT_NE(e.ErrorCode(), 0);
            if (pm.IsOpen() && pm.HasPendingChanges(0)) pm.CancelChanges(0);
          }
        }
        ++runs;
        const std::vector<uint8_t> file = ReadAll();
        const After after = committed                                       ? After::Committed
                            : file[kFileStatePosition] == kFileStateWriting ? After::RolledBack
                            : file == before_                               ? After::Unchanged
                                                                            : After::Committed;
        ExpectFile(after, Describe(c));
      }
    }
  }
  EXPECT_GT(runs, 10);
}

TEST_F(FileFaultsTest, CountsShowTheCallsOfOneCommit) {
  THeldDiskPageManager pm;
  Open(pm);
  ChangeRecordPage(pm);
  FaultFileSystem faults;
  platform::FileSystemScope scope(faults);
  Commit(pm);
  // The header read, and the header and page images read for the journal.
  EXPECT_EQ(faults.Count(FileCall::Lock), 1);
  EXPECT_EQ(faults.Count(FileCall::Read), 3);
  // The journal's record and header; the marker, the page, the consistent header; the
  // journal's header cleared.
  EXPECT_EQ(faults.Count(FileCall::Write), 6);
  // The journal keeps its length for the next commit: a file whose size changes costs its
  // flush a wait for the file system's own journal.
  EXPECT_EQ(faults.Count(FileCall::Truncate), 0);
  EXPECT_EQ(faults.Count(FileCall::Unlock), 1);
  // The journal; the file after the marker, the page and the header; the caller's flush.
  EXPECT_EQ(faults.Count(FileCall::Flush), 5);
  // The journal, opened for the commit.
  EXPECT_EQ(faults.Count(FileCall::Open), 1);
  EXPECT_EQ(faults.Failures(), 0);
}

}  // namespace
}  // namespace qdx
