// Two processes on one database file in multi-user mode: the record and table locks of an edit
// keep the other process out (with the lock waits shortened), an insert of one is seen by the
// other, and increments of one field from both lose nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <string_view>

#include "tests/dataset/local_engine_support.h"
#include "tests/fault_file_system.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using testing::kAmount;
using testing::LocalEngineTest;
using testing::TableCursor;

// Exit statuses of a child beside the ones its body answers.
constexpr int kChildFailed = 98;
constexpr int kChildRaised = 99;

class LocalMultiUserTest : public LocalEngineTest {
 protected:
  void SetUp() override {
    LocalEngineTest::SetUp();
    if (!testing::kDiskTables) GTEST_SKIP() << "needs tables in the database file";
    auto session = Connect(true);
    CreateKosten(*session);
    TableCursor cursor(*session, "Kosten");
    cursor.Open();
    ASSERT_EQ(cursor.Insert("Teller", 0), crOK);
  }

  // Runs `body` in a child process with a session and cursor of its own; answers its pid. The
  // child's exit status is what the body answers (0 to 97). The child inherits the parent's
  // database data objects with their open files and locks, so its session takes another
  // identity and opens the file afresh.
  pid_t Spawn(const std::function<int(TableCursor&)>& body) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    int status = kChildRaised;
    try {
      auto session = Connect(true, "Kind");
      TableCursor cursor(*session, "Kosten");
      cursor.Open();
      status = body(cursor);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child: %s\n", e.what());
    }
    std::_Exit(status);
  }
  static int Wait(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }
};

// The child tries to edit the record the parent is editing: its result code, as exit status.
int EditTeller(TableCursor& cursor) {
  if (!cursor.GoTo("Teller")) return kChildFailed;
  return -cursor.Edit();
}

TEST_F(LocalMultiUserTest, ARecordBeingEditedIsRefusedToTheOtherProcess) {
  auto session = Connect(true);
  TableCursor cursor(*session, "Kosten");
  cursor.Open();
  ASSERT_TRUE(cursor.GoTo("Teller"));
  ASSERT_EQ(cursor.Edit(), crOK);
  EXPECT_EQ(Wait(Spawn(EditTeller)), -crRecordLocked);
  const auto lockedByOther = [](TableCursor& child) {
    return child.GoTo("Teller") && child.IsRecordLocked() ? 1 : 0;
  };
  EXPECT_EQ(Wait(Spawn(lockedByOther)), 1);
  EXPECT_FALSE(cursor.IsRecordLocked());  // the lock is this session's own
  cursor.SetInt(kAmount, 5);
  ASSERT_EQ(cursor.Post(), crOK);
  // Posted: the record is free again, and the other process edits what was stored.
  EXPECT_EQ(Wait(Spawn(EditTeller)), crOK);
}

TEST_F(LocalMultiUserTest, ATransactionsEditKeepsTheTableFromOtherEditors) {
  auto session = Connect(true);
  TableCursor cursor(*session, "Kosten");
  cursor.Open();
  session->StartTransaction();
  ASSERT_TRUE(cursor.GoTo("Teller"));
  ASSERT_EQ(cursor.Edit(), crOK);
  EXPECT_EQ(Wait(Spawn(EditTeller)), -crTableLocked);
  cursor.CancelRecord(false);
  session->Rollback();
  EXPECT_EQ(Wait(Spawn(EditTeller)), crOK);
}

// An edit, a delete or an update whose reading fails raises, and gives back the locks it took
// for itself: the other process edits the record at once. The update keeps the edit's locks
// until the edit is cancelled, so that it can be posted again.
TEST_F(LocalMultiUserTest, ALockedChangeThatRaisesGivesItsLocksBack) {
  struct Case {
    const char* name;
    std::function<int32_t(TableCursor&)> change;
  };
  const Case cases[] = {
      {"edit", [](TableCursor& cursor) { return cursor.Edit(); }},
      {"delete", [](TableCursor& cursor) { return cursor.Delete(); }},
      {"update", [](TableCursor& cursor) { return cursor.Post(); }},
  };
  auto session = Connect(true);
  TableCursor cursor(*session, "Kosten");
  cursor.Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(cursor.GoTo("Teller"));
    const bool update = std::string_view(c.name) == "update";
    if (update) {
      ASSERT_EQ(cursor.Edit(), crOK);
    }
    {
      testing::FaultFileSystem faults;
      platform::FileSystemScope scope(faults);
      faults.Fail(testing::FileCall::Read, 1, EIO, testing::FaultFileSystem::kForever);
      EXPECT_THROW(c.change(cursor), EQDXException);
    }
    if (update) {
      EXPECT_EQ(Wait(Spawn(EditTeller)), -crRecordLocked);
      cursor.CancelRecord(false);
    }
    EXPECT_EQ(Wait(Spawn(EditTeller)), crOK);
  }
}

// A lock byte that will not unlock (the call and its retry fail) reaches the caller with its
// code, and the lock stays the session's: the other process is still kept out, and the
// release done again frees it.
TEST_F(LocalMultiUserTest, AnUnlockThatFailsIsReportedAndTheLockKept) {
  struct Case {
    const char* name;
    std::function<void(TableCursor&)> take;
    std::function<void(TableCursor&)> release;
    std::function<int(TableCursor&)> childTakes;  // 1 when the child got what the lock guards
    int32_t code;
    const char* text;
  };
  const auto childCommits = [](TableCursor& child) {
    return child.LockTable(TQDXTableLockKind::Commit, 1, false, 0) ? 1 : 0;
  };
  const auto childEdits = [](TableCursor& child) {
    return child.GoTo("Teller") && child.Edit() == crOK ? 1 : 0;
  };
  const Case cases[] = {
      {"record lock, on cancel",
       [](TableCursor& cursor) {
         ASSERT_TRUE(cursor.GoTo("Teller"));
         ASSERT_EQ(cursor.Edit(), crOK);
       },
       [](TableCursor& cursor) { cursor.CancelRecord(false); }, childEdits, 20206,
       "Cannot unlock record"},
      {"read lock",
       [](TableCursor& cursor) {
         ASSERT_TRUE(cursor.LockTable(TQDXTableLockKind::Read, 1, false, 0));
       },
       [](TableCursor& cursor) { ASSERT_TRUE(cursor.UnlockTable(TQDXTableLockKind::Read, false)); },
       childCommits, 20204, "Cannot unlock table"},
  };
  auto session = Connect(true);
  TableCursor cursor(*session, "Kosten");
  cursor.Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.take(cursor);
    ASSERT_EQ(Wait(Spawn(c.childTakes)), 0);
    {
      testing::FaultFileSystem faults;
      platform::FileSystemScope scope(faults);
      faults.Fail(testing::FileCall::Unlock, 1, EIO, 2);
      EXPECT_QDX_ERROR(c.release(cursor), c.code, c.text);
    }
    EXPECT_EQ(Wait(Spawn(c.childTakes)), 0);
    c.release(cursor);
    EXPECT_EQ(Wait(Spawn(c.childTakes)), 1);
  }
}

TEST_F(LocalMultiUserTest, AnInsertOfOneProcessIsSeenByTheOthersNextRead) {
  auto session = Connect(true);
  TableCursor cursor(*session, "Kosten");
  cursor.Open();
  ASSERT_EQ(cursor.GetRecordCount(), 1);
  ASSERT_EQ(Wait(Spawn([](TableCursor& child) { return -child.Insert("Nieuw", 7); })), 0);
  EXPECT_EQ(cursor.GetRecordCount(), 2);
  ASSERT_TRUE(cursor.GoTo("Nieuw"));
  EXPECT_EQ(cursor.Int(kAmount), 7);
}

// Adds one to Teller's amount `count` times, each an edit and a post that are retried while
// the other process holds the record or changed it meanwhile.
int Increment(TableCursor& cursor, int count) {
  for (int done = 0, attempts = 0; done < count; ++attempts) {
    if (attempts > count * 200) return kChildFailed;
    if (!cursor.GoTo("Teller")) return kChildFailed;
    if (cursor.Edit() != crOK) continue;
    cursor.SetInt(kAmount, static_cast<int32_t>(cursor.Int(kAmount) + 1));
    if (cursor.Post() == crOK) {
      ++done;
    } else {
      cursor.CancelRecord(false);
    }
  }
  return 0;
}

TEST_F(LocalMultiUserTest, IncrementsFromTwoProcessesLoseNoUpdate) {
  constexpr int kCount = 40;
  const pid_t child = Spawn([](TableCursor& cursor) { return Increment(cursor, kCount); });
  auto session = Connect(true);
  TableCursor cursor(*session, "Kosten");
  cursor.Open();
  EXPECT_EQ(Increment(cursor, kCount), 0);
  EXPECT_EQ(Wait(child), 0);
  ASSERT_TRUE(cursor.GoTo("Teller"));
  EXPECT_EQ(cursor.Int(kAmount), 2 * kCount);
}

}  // namespace
}  // namespace qdx
