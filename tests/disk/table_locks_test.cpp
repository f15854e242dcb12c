// Table and record locks: the lock slot file's bytes, the lock manager's protocol against a
// second session of this process and against forked processes, the commit locks of the disk
// database data and the disk table data's wrappers.
//
// Forked children never return into the test framework: they end with _exit and report through
// pipes and their exit status. QDX_LOCK_STRESS_OPS lengthens the random multi-process run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/core/base_session.h"
#include "engine/disk/disk_database_data.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/disk/disk_table_locks.h"
#include "engine/disk/internal_direct_file.h"
#include "engine/disk/system_directory.h"
#include "engine/disk/table_lock_manager.h"
#include "engine/disk/table_locks_file.h"
#include "engine/foundation/platform/clock.h"
#include "tests/disk/disk_test_support.h"

namespace qdx {
namespace {

using testing::QdxErrorCode;
using testing::TempDirTest;
using Kind = TQDXTableLockKind;

// Callers of the page manager hold the database's critical section, as the cursor does around
// each of its operations; the tests declare the guard where they take it, so that clang's lock
// analysis sees it.

constexpr int32_t kSlots = 4;
constexpr int32_t kMe = 0;
constexpr int32_t kPeer = 1;

Kind KindOf(int index) {
  return static_cast<Kind>(index);
}

// The compatibility matrix: row the kind one session holds, column the kind another asks for.
constexpr std::array<const char*, 7> kMatrix = {
    "1111110", "1111010", "1110110", "1100010", "1010010", "1111110", "0000000",
};
// The kinds each kind covers.
const std::array<std::vector<int>, 7> kCovers = {{
    {5},
    {0, 5},
    {0, 5},
    {0, 1, 2, 5},
    {0, 1, 2, 5},
    {0},
    {0, 1, 2, 3, 4, 5},
}};

// Opens the database file in multi-user mode.
void OpenMultiUser(TQDXDiskPageManager& pm, const std::string& path, bool exclusive = false) {
  bool multiUser = true;
  bool repairNeeded = false;
  bool readOnly = false;
  pm.OpenDatabaseFile(path, {}, multiUser, exclusive, repairNeeded, readOnly);
}

// One process's view of a database: its own handle on the file (the locks of two handles
// exclude each other as those of two processes do), its lock manager and the tables' lock
// slot files.
struct Process {
  Process(const std::string& path, const std::vector<int32_t>& keys) {
    pm.SetLockRetry(3, 1);
    OpenMultiUser(pm, path);
    manager = std::make_unique<TQDXDatabaseTableLockManager>(pm, kSlots, TQDXLockTiming{3, 2});
    for (int32_t key : keys) {
      tables.push_back(std::make_unique<TQDXTableLocksFile>(pm));
      tables.back()->Open(key);
    }
  }
  ~Process() {
    manager.reset();
    tables.clear();
    pm.CloseDatabaseFile();
  }

  bool Lock(int32_t session, int table, Kind kind, bool editFlag = false) {
    return manager->LockTable(session, kind, editFlag, false, 2, 1, *tables[table]);
  }
  bool Unlock(int32_t session, int table, Kind kind) {
    return manager->UnlockTable(session, kind, false, false, *tables[table]);
  }
  bool LockRecord(int32_t session, int table, TQDXRecordID id) {
    return manager->LockRecord(session, *tables[table], 1, 1, id);
  }
  bool UnlockRecord(int32_t session, int table) {
    return manager->UnlockRecord(session, *tables[table], {});
  }
  // The session's entry of `kind` on the table, or none.
  std::optional<TQDXTableLockEntry> Entry(int32_t session, int table, Kind kind) {
    for (const TQDXTableLockEntry& entry : manager->Locks(session)) {
      if (entry.Kind == kind && entry.TableKey == tables[table]->StartPage()) return entry;
    }
    return std::nullopt;
  }

  testing::THeldDiskPageManager pm;
  std::unique_ptr<TQDXDatabaseTableLockManager> manager;
  std::vector<std::unique_ptr<TQDXTableLocksFile>> tables;
};

// A database file with two tables' lock slot files of kSlots slots.
class TableLocksTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    testing::THeldDiskPageManager pm;
    pm.CreateDatabaseFile(path, {});
    TQDXSystemDirectory directory(pm);
    directory.Create();
    directory.Save();
    for (int i = 0; i < 2; ++i) {
      TQDXTableLocksFile file(pm);
      keys.push_back(file.Create(kSlots));
    }
    pm.ApplyChanges(kSystemSessionID);
    pm.CloseDatabaseFile();
  }

  std::vector<int32_t> keys;
};

TEST_F(TableLocksTest, LockSlotFileKeepsKindBytesAndRecordIDsWhereTheLayoutSays) {
  Process mine(path, keys);
  Process theirs(path, keys);
  TQDXTableLocksFile& file = *mine.tables[0];
  EXPECT_EQ(file.SlotCount(), kSlots);
  EXPECT_EQ(file.StartPage(), keys[0]);

  // Session 2, kind 3: content byte 3 × 4 + 2; its record ID at 6 × 4 + 6 × 2.
  ASSERT_TRUE(file.LockKind(2, Kind::TransactionEdit));
  file.WriteRecordID(2, {0x01020304, 0x0506});
  TQDXInternalDBDirectAccessFile raw(theirs.pm, ptTableLocks);
  raw.Open(keys[0]);
  EXPECT_EQ(raw.GetSize(), 12 * kSlots);
  for (int32_t position = 0; position < 6 * kSlots; ++position)
    EXPECT_EQ(raw.IsByteLocked(position), position == 14) << position;
  std::array<uint8_t, 6> id{};
  raw.DirectReadBuffer(id.data(), 6, 36);
  EXPECT_EQ(id, (std::array<uint8_t, 6>{0x04, 0x03, 0x02, 0x01, 0x06, 0x05}));
  EXPECT_TRUE(theirs.tables[0]->IsKindHeldByOthers(1, Kind::TransactionEdit));
  EXPECT_FALSE(theirs.tables[0]->IsKindHeldByOthers(2, Kind::TransactionEdit));
  EXPECT_FALSE(file.LockKind(2, Kind::Exclusive));  // kind 6 has no byte

  // Record lock bytes and IDs: only another session's lock on the same record counts.
  ASSERT_TRUE(file.LockKind(2, Kind::Records));
  EXPECT_TRUE(theirs.tables[0]->IsRecordLockedByOthers(1, {0x01020304, 0x0506}));
  EXPECT_FALSE(theirs.tables[0]->IsRecordLockedByOthers(1, {0x01020304, 0x0507}));
  EXPECT_FALSE(theirs.tables[0]->IsRecordLockedByOthers(2, {0x01020304, 0x0506}));
  EXPECT_TRUE(file.UnlockKind(2, Kind::Records));
  EXPECT_FALSE(theirs.tables[0]->IsRecordLockedByOthers(1, {0x01020304, 0x0506}));
  EXPECT_TRUE(file.UnlockKind(2, Kind::TransactionEdit));

  // Sessions outside the slots, and every operation on a closed file.
  for (int32_t session : {-1, kSlots})
    EXPECT_EQ(QdxErrorCode([&] { file.LockKind(session, Kind::Open); }), 20200) << session;
  TQDXTableLocksFile closed(mine.pm);
  const std::vector<std::pair<int32_t, std::function<void()>>> closedCases = {
      {10483, [&] { closed.StartPage(); }},
      {10489, [&] { closed.LockFile(); }},
      {10490, [&] { closed.UnlockFile(); }},
      {10491, [&] { closed.LockKind(0, Kind::Open); }},
      {10492, [&] { closed.UnlockKind(0, Kind::Open); }},
      {10493, [&] { closed.IsKindHeldByOthers(0, Kind::Open); }},
      {10494, [&] { closed.ReadRecordID(0); }},
      {10494, [&] { closed.IsRecordLockedByOthers(0, {}); }},
  };
  for (const auto& [code, action] : closedCases) EXPECT_EQ(QdxErrorCode(action), code);
  EXPECT_QDX_ERROR(closed.StartPage(), 10483, "Nil pointer occured");
}

// --- The protocol against a second session: of this process, or of a forked one ------------

enum Op : int32_t { kLock, kUnlock, kLockRecord, kUnlockRecord, kIsRecordLocked };
using Request = std::array<int32_t, 6>;  // op, table, kind, edit flag, record page, record slot

// Runs a request as session kPeer of `process`: 1 true, 0 false, minus the code of an error.
int32_t Execute(Process& process, const Request& request) {
  const int table = request[1];
  const Kind kind = KindOf(request[2]);
  const TQDXRecordID id{request[4], static_cast<uint16_t>(request[5])};
  try {
    switch (request[0]) {
      case kLock:
        return process.Lock(kPeer, table, kind, request[3] != 0);
      case kUnlock:
        return process.Unlock(kPeer, table, kind);
      case kLockRecord:
        return process.LockRecord(kPeer, table, id);
      case kUnlockRecord:
        return process.UnlockRecord(kPeer, table);
      case kIsRecordLocked:
        return process.manager->IsRecordLocked(kPeer, *process.tables[table], id);
    }
  } catch (const EQDXException& e) {
    return -e.ErrorCode();
  }
  return -1;
}

class Peer {
 public:
  virtual ~Peer() = default;
  virtual int32_t Call(const Request& request) = 0;

  bool Lock(int table, Kind kind) { return Call({kLock, table, int32_t(kind), 0, 0, 0}) == 1; }
  bool Unlock(int table, Kind kind) { return Call({kUnlock, table, int32_t(kind), 0, 0, 0}) == 1; }
  bool LockRecord(int table, TQDXRecordID id) {
    return Call({kLockRecord, table, 0, 0, id.PageNo, id.SlotNo}) == 1;
  }
  bool UnlockRecord(int table) { return Call({kUnlockRecord, table, 0, 0, 0, 0}) == 1; }
};

// Session kPeer of the test's own process.
class SessionPeer : public Peer {
 public:
  explicit SessionPeer(Process& process) : process_(process) {}
  int32_t Call(const Request& request) override { return Execute(process_, request); }

 private:
  Process& process_;
};

// Session kPeer of a forked process with its own handle and lock manager, served over pipes.
class ForkedPeer : public Peer {
 public:
  ForkedPeer(const std::string& path, const std::vector<int32_t>& keys) {
    int toChild[2];
    int fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(toChild[1]);
      ::close(fromChild[0]);
      ::_exit(Serve(path, keys, toChild[0], fromChild[1]));
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    out_ = toChild[1];
    in_ = fromChild[0];
  }
  ~ForkedPeer() override {
    ::close(out_);  // the child ends at the end of its input
    int status = 0;
    ::waitpid(pid_, &status, 0);
    ::close(in_);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  int32_t Call(const Request& request) override {
    int32_t reply = -1;
    if (::write(out_, request.data(), sizeof request) != sizeof request ||
        ::read(in_, &reply, sizeof reply) != sizeof reply) {
      ADD_FAILURE() << "the forked peer is gone";
    }
    return reply;
  }

 private:
  static int Serve(const std::string& path, const std::vector<int32_t>& keys, int in, int out) {
    try {
      Process process(path, keys);
      Request request;
      while (::read(in, request.data(), sizeof request) == sizeof request) {
        const int32_t reply = Execute(process, request);
        if (::write(out, &reply, sizeof reply) != sizeof reply) return 3;
      }
      return 0;
    } catch (...) {
      return 2;
    }
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int in_ = -1;
};

enum class PeerPlace { SameProcess, ForkedProcess };

class TableLockPeersTest : public TableLocksTest, public ::testing::WithParamInterface<PeerPlace> {
 protected:
  void SetUp() override {
    TableLocksTest::SetUp();
    me = std::make_unique<Process>(path, keys);
    if (GetParam() == PeerPlace::SameProcess) {
      peer = std::make_unique<SessionPeer>(*me);
    } else {
      peer = std::make_unique<ForkedPeer>(path, keys);
    }
  }
  void TearDown() override {
    peer.reset();
    me.reset();
    TableLocksTest::TearDown();
  }

  std::unique_ptr<Process> me;
  std::unique_ptr<Peer> peer;
};

TEST_P(TableLockPeersTest, KindsExcludeEachOtherAsTheMatrixSays) {
  for (int held = 0; held < 7; ++held) {
    for (int asked = 0; asked < 7; ++asked) {
      for (bool editFlag : {false, true}) {
        SCOPED_TRACE(::testing::Message()
                     << "held " << held << ", asked " << asked << ", edit flag " << editFlag);
        ASSERT_TRUE(peer->Lock(0, KindOf(held)));
        // The edit flag lets a transaction's edit join edits outside transactions.
        const bool granted = kMatrix[held][asked] == '1' || (editFlag && held == 2 && asked == 3);
        EXPECT_EQ(me->Lock(kMe, 0, KindOf(asked), editFlag), granted);
        EXPECT_TRUE(me->Lock(kMe, 1, KindOf(asked), editFlag));  // another table is free
        if (granted) {
          EXPECT_TRUE(me->Unlock(kMe, 0, KindOf(asked)));
        }
        EXPECT_TRUE(me->Unlock(kMe, 1, KindOf(asked)));
        ASSERT_TRUE(peer->Unlock(0, KindOf(held)));
      }
    }
  }
}

TEST_P(TableLockPeersTest, CoveredLocksTakeNoByteUntilTheCoveringLockGoes) {
  for (int holder = 0; holder < 7; ++holder) {
    for (int other = 0; other < 7; ++other) {
      if (other == holder || other == 5) continue;  // kind 5 is taken as a record lock
      SCOPED_TRACE(::testing::Message() << "holder " << holder << ", other " << other);
      const bool covered = std::ranges::count(kCovers[holder], other) == 1;
      ASSERT_TRUE(me->Lock(kMe, 0, KindOf(holder)));
      ASSERT_TRUE(me->Lock(kMe, 0, KindOf(other)));
      EXPECT_EQ(me->Entry(kMe, 0, KindOf(other))->InFile, !covered);
      // Released, the covering lock leaves the covered one in the file: nobody gets kind 6.
      ASSERT_TRUE(me->Unlock(kMe, 0, KindOf(holder)));
      EXPECT_TRUE(me->Entry(kMe, 0, KindOf(other))->InFile);
      EXPECT_FALSE(peer->Lock(0, Kind::Exclusive));
      ASSERT_TRUE(me->Unlock(kMe, 0, KindOf(other)));
      ASSERT_TRUE(peer->Lock(0, Kind::Exclusive));
      ASSERT_TRUE(peer->Unlock(0, Kind::Exclusive));
    }
  }
}

TEST_P(TableLockPeersTest, RecordLocksExcludeOnlyTheSameRecord) {
  const TQDXRecordID record{7, 3};
  const TQDXRecordID sameSlotOtherPage{8, 3};
  ASSERT_TRUE(peer->LockRecord(0, record));
  EXPECT_FALSE(me->LockRecord(kMe, 0, record));
  EXPECT_TRUE(me->manager->IsRecordLocked(kMe, *me->tables[0], record));
  EXPECT_FALSE(me->manager->IsRecordLocked(kMe, *me->tables[0], sameSlotOtherPage));
  EXPECT_TRUE(me->LockRecord(kMe, 1, record));  // the same ID in another table
  EXPECT_TRUE(me->LockRecord(kMe, 0, sameSlotOtherPage));
  EXPECT_FALSE(me->LockRecord(kMe, 0, {9, 9}));  // one record per session and table
  // Record locks keep exclusive openers out.
  EXPECT_FALSE(me->Lock(kMe, 0, Kind::Exclusive));

  EXPECT_TRUE(peer->UnlockRecord(0));
  EXPECT_FALSE(peer->UnlockRecord(0));
  EXPECT_TRUE(me->UnlockRecord(kMe, 0));
  EXPECT_TRUE(me->LockRecord(kMe, 0, record));
  EXPECT_FALSE(peer->LockRecord(0, record));
  EXPECT_TRUE(me->UnlockRecord(kMe, 0));
  EXPECT_TRUE(me->UnlockRecord(kMe, 1));
}

TEST_P(TableLockPeersTest, ExclusiveLockIsTheFileLockAndCoversTheSessionsOwnLocks) {
  ASSERT_TRUE(me->Lock(kMe, 0, Kind::Open));
  ASSERT_TRUE(me->Lock(kMe, 0, Kind::Exclusive));
  // Covered: granted although the file lock, now held, could not be taken again.
  EXPECT_TRUE(me->Lock(kMe, 0, Kind::Read));
  EXPECT_FALSE(me->Entry(kMe, 0, Kind::Read)->InFile);
  const TQDXRecordID record{12, 1};
  EXPECT_TRUE(me->LockRecord(kMe, 0, record));
  EXPECT_FALSE(me->Entry(kMe, 0, Kind::Records)->InFile);
  EXPECT_FALSE(peer->Lock(0, Kind::Open));
  EXPECT_FALSE(peer->LockRecord(0, {13, 1}));
  // The session's own byte lock goes while it holds the file lock as its exclusive lock.
  EXPECT_TRUE(me->Unlock(kMe, 0, Kind::Open));

  // Released, the exclusive lock leaves the read lock and the record lock, with its ID.
  ASSERT_TRUE(me->Unlock(kMe, 0, Kind::Exclusive));
  EXPECT_TRUE(peer->Lock(0, Kind::Open));
  EXPECT_FALSE(peer->Lock(0, Kind::Commit));
  EXPECT_FALSE(peer->LockRecord(0, record));
  EXPECT_TRUE(peer->LockRecord(0, {13, 1}));
  EXPECT_TRUE(peer->UnlockRecord(0));
  EXPECT_TRUE(peer->Unlock(0, Kind::Open));
  EXPECT_TRUE(me->UnlockRecord(kMe, 0));
  EXPECT_TRUE(me->Unlock(kMe, 0, Kind::Read));
  EXPECT_TRUE(peer->Lock(0, Kind::Exclusive));
  EXPECT_TRUE(peer->Unlock(0, Kind::Exclusive));
}

TEST_P(TableLockPeersTest, TransactionLocksGoAfterCommitAndRecordLocksStay) {
  // A record edited in a transaction is locked without a byte: kind 3 keeps editors out.
  const TQDXRecordID record{21, 4};
  ASSERT_TRUE(me->Lock(kMe, 0, Kind::TransactionEdit));
  ASSERT_TRUE(me->LockRecord(kMe, 0, record));
  ASSERT_TRUE(me->Lock(kMe, 1, Kind::TransactionEdit));
  ASSERT_TRUE(peer->Lock(1, Kind::Read));
  // The commit lock of table 1 waits for the reader: nothing is kept.
  EXPECT_FALSE(me->manager->LockModifiedTables(kMe));
  EXPECT_FALSE(me->Entry(kMe, 0, Kind::Commit).has_value());
  EXPECT_FALSE(me->Entry(kMe, 1, Kind::Commit).has_value());
  ASSERT_TRUE(peer->Unlock(1, Kind::Read));
  EXPECT_TRUE(me->manager->LockModifiedTables(kMe));
  EXPECT_FALSE(peer->Lock(0, Kind::Read));

  EXPECT_TRUE(me->manager->ReleaseTransactionLocks(kMe));
  const std::vector<TQDXTableLockEntry> left = me->manager->Locks(kMe);
  ASSERT_EQ(left.size(), 2u);
  for (const TQDXTableLockEntry& entry : left) {
    EXPECT_TRUE(entry.Kind == Kind::Edit || entry.Kind == Kind::Records);
    EXPECT_TRUE(entry.InFile);
  }
  // The record lock reached the file with its record ID.
  EXPECT_FALSE(peer->LockRecord(0, record));
  EXPECT_TRUE(peer->LockRecord(0, {21, 5}));
  EXPECT_TRUE(peer->UnlockRecord(0));
  EXPECT_FALSE(peer->Lock(0, Kind::TransactionEdit));
  EXPECT_TRUE(me->UnlockRecord(kMe, 0));
  EXPECT_TRUE(me->Unlock(kMe, 0, Kind::Edit));
  EXPECT_TRUE(peer->Lock(0, Kind::Exclusive));
  EXPECT_TRUE(peer->Unlock(0, Kind::Exclusive));
}

INSTANTIATE_TEST_SUITE_P(Peers, TableLockPeersTest,
                         ::testing::Values(PeerPlace::SameProcess, PeerPlace::ForkedProcess),
                         [](const auto& info) {
                           return info.param == PeerPlace::SameProcess ? "SameProcess"
                                                                       : "ForkedProcess";
                         });

// --- The bookkeeping of one session ----------------------------------------------------------

TEST_F(TableLocksTest, HeldLocksCountExceptTheEditLock) {
  Process process(path, keys);
  ASSERT_TRUE(process.Lock(kMe, 0, Kind::Read));
  ASSERT_TRUE(process.Lock(kMe, 0, Kind::Read));
  EXPECT_EQ(process.Entry(kMe, 0, Kind::Read)->Count, 2);
  EXPECT_TRUE(process.Unlock(kMe, 0, Kind::Read));
  EXPECT_FALSE(process.Lock(kPeer, 0, Kind::Commit));  // one count is left
  EXPECT_TRUE(process.Unlock(kMe, 0, Kind::Read));
  EXPECT_FALSE(process.Entry(kMe, 0, Kind::Read).has_value());

  ASSERT_TRUE(process.Lock(kMe, 0, Kind::Edit));
  EXPECT_FALSE(process.Lock(kMe, 0, Kind::Edit));
  EXPECT_TRUE(process.Unlock(kMe, 0, Kind::Edit));

  EXPECT_QDX_ERROR(process.Unlock(kMe, 0, Kind::Edit), 20202,
                   "Cannot remove table lock. Lock not found");
  EXPECT_TRUE(process.manager->UnlockTable(kMe, Kind::Edit, false, true, *process.tables[0]));
  // Sessions beyond the database's slots or the table's.
  EXPECT_QDX_ERROR(process.Lock(kSlots, 0, Kind::Open), 20200,
                   "Cannot set table lock. Try to repair database or to increase number of "
                   "allowed connections");
  TQDXDatabaseTableLockManager wider(process.pm, kSlots + 2);
  EXPECT_EQ(QdxErrorCode([&] {
              wider.LockTable(kSlots + 1, Kind::Open, false, false, 2, 1, *process.tables[0]);
            }),
            20200);
}

TEST_F(TableLocksTest, ReleaseWaitsForTheFileLockAndKeepsTheLockWhenItCannotHaveIt) {
  Process process(path, keys);
  Process other(path, keys);
  ASSERT_TRUE(process.Lock(kMe, 0, Kind::TransactionEdit));
  ASSERT_TRUE(process.Lock(kMe, 0, Kind::Open));  // covered
  ASSERT_TRUE(other.tables[0]->LockFile());
  EXPECT_FALSE(process.Unlock(kMe, 0, Kind::TransactionEdit));
  EXPECT_TRUE(process.Entry(kMe, 0, Kind::TransactionEdit)->InFile);
  ASSERT_TRUE(other.tables[0]->UnlockFile());
  EXPECT_FALSE(other.Lock(kPeer, 0, Kind::Edit));  // the lock stayed
  EXPECT_TRUE(process.Unlock(kMe, 0, Kind::TransactionEdit));
  EXPECT_TRUE(other.Lock(kPeer, 0, Kind::Edit));
  EXPECT_FALSE(other.Lock(kPeer, 0, Kind::Exclusive));  // the open lock went into the file
}

TEST_F(TableLocksTest, CommitLocksThatCannotBeReleasedAreAnError) {
  Process process(path, keys);
  Process other(path, keys);
  ASSERT_TRUE(process.Lock(kMe, 0, Kind::TransactionEdit));
  ASSERT_TRUE(process.Lock(kMe, 1, Kind::TransactionEdit));
  // A commit lock held twice before the commit keeps a count after the commit's release.
  ASSERT_TRUE(process.Lock(kMe, 0, Kind::Commit));
  ASSERT_TRUE(process.Lock(kMe, 0, Kind::Commit));
  ASSERT_TRUE(other.Lock(kPeer, 1, Kind::Read));
  EXPECT_QDX_ERROR(process.manager->LockModifiedTables(kMe), 20234, "Some table locks still exist");
}

TEST_F(TableLocksTest, ExclusivelyOpenedFileTakesNoLocks) {
  testing::THeldDiskPageManager pm;
  OpenMultiUser(pm, path, true);
  TQDXDatabaseTableLockManager manager(pm, kSlots);
  TQDXTableLocksFile file(pm);
  file.Open(keys[0]);
  EXPECT_TRUE(manager.LockTable(kMe, Kind::Exclusive, false, false, 2, 1, file));
  EXPECT_TRUE(manager.Locks(kMe).empty());
  EXPECT_TRUE(manager.UnlockTable(kMe, Kind::Open, false, false, file));
  pm.CloseDatabaseFile();
}

// --- The disk database data: sessions, commit, rollback, the table data's wrappers ----------

class RollbackRecordingData : public TQDXDiskDatabaseData {
 public:
  using TQDXDiskDatabaseData::TQDXDiskDatabaseData;
  std::vector<int32_t> RolledBack;

 protected:
  void AfterRollback(int32_t sessionID) override { RolledBack.push_back(sessionID); }
};

class DatabaseLocksTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    TQDXDiskDatabaseData creator(path);
    creator.MaxConnections = 8;
    creator.CreateDatabase();
    // The tables' lock slot files, made by a connected process.
    auto data = Open();
    auto session = Connect(*data, true);
    const platform::CriticalSectionGuard held(data->PageManager()->DatabaseLock());
    for (int i = 0; i < 2; ++i) {
      TQDXTableLocksFile file(*data->PageManager());
      keys.push_back(file.Create(data->MaxConnections));
    }
    data->CommitTransaction(kSystemSessionID, false);
    data->RemoveSession(*session);
  }

  std::unique_ptr<RollbackRecordingData> Open() {
    auto data = std::make_unique<RollbackRecordingData>(path);
    data->LockRetryCount = 500;
    data->LockRetryPause = 2;
    data->LockTiming = {3, 2};
    return data;
  }
  static std::unique_ptr<TQDXBaseSession> Connect(TQDXDiskDatabaseData& data, bool multiUser) {
    auto session = std::make_unique<TQDXBaseSession>();
    session->SetMultiUser(multiUser);
    data.AddSession(*session);
    return session;
  }
  static std::unique_ptr<TQDXTableLocksFile> Table(TQDXDiskDatabaseData& data, int32_t key) {
    auto file = std::make_unique<TQDXTableLocksFile>(*data.PageManager());
    file->Open(key);
    return file;
  }

  std::vector<int32_t> keys;
};

TEST_F(DatabaseLocksTest, CommitTakesTheLocksOfModifiedTablesAndRollbackDropsThem) {
  auto mine = Open();
  auto theirs = Open();
  auto writer = Connect(*mine, true);
  auto reader = Connect(*theirs, true);
  const platform::CriticalSectionGuard holdMine(mine->PageManager()->DatabaseLock());
  const platform::CriticalSectionGuard holdTheirs(theirs->PageManager()->DatabaseLock());
  const int32_t w = writer->SessionID();
  const int32_t r = reader->SessionID();
  auto myTable = Table(*mine, keys[0]);
  auto theirTable = Table(*theirs, keys[0]);
  TQDXDatabaseTableLockManager& locks = *mine->TableLockManager();

  ASSERT_TRUE(locks.LockTable(w, Kind::TransactionEdit, false, false, 2, 1, *myTable));
  ASSERT_TRUE(
      theirs->TableLockManager()->LockTable(r, Kind::Read, false, false, 2, 1, *theirTable));
  EXPECT_QDX_ERROR(mine->CommitTransaction(w, false), 20233,
                   "Cannot commit changes. Locks of modified tables failed");
  EXPECT_EQ(locks.Locks(w).size(), 1u);  // the transaction goes on
  ASSERT_TRUE(theirs->TableLockManager()->UnlockTable(r, Kind::Read, false, false, *theirTable));
  mine->CommitTransaction(w, true);
  EXPECT_TRUE(locks.Locks(w).empty());

  ASSERT_TRUE(locks.LockTable(w, Kind::TransactionEdit, false, false, 2, 1, *myTable));
  ASSERT_TRUE(locks.LockRecord(w, *myTable, 2, 1, {30, 1}));
  mine->RollbackTransaction(w);
  EXPECT_EQ(mine->RolledBack, std::vector<int32_t>{w});
  ASSERT_EQ(locks.Locks(w).size(), 2u);  // kind 2 and the record lock, both in the file
  EXPECT_FALSE(theirs->TableLockManager()->LockRecord(r, *theirTable, 1, 1, {30, 1}));
  EXPECT_TRUE(locks.UnlockRecord(w, *myTable, {30, 1}));
  EXPECT_TRUE(locks.UnlockTable(w, Kind::Edit, false, false, *myTable));

  theirs->RemoveSession(*reader);
  mine->RemoveSession(*writer);
}

TEST_F(DatabaseLocksTest, SessionLeavingWithLocksFreesThemAndItsSlot) {
  auto mine = Open();
  auto theirs = Open();
  auto stays = Connect(*mine, true);
  auto leaves = Connect(*mine, true);
  const platform::CriticalSectionGuard holdMine(mine->PageManager()->DatabaseLock());
  const int32_t number = leaves->SessionID();
  auto myTable = Table(*mine, keys[0]);
  ASSERT_TRUE(
      mine->TableLockManager()->LockTable(number, Kind::Open, false, false, 2, 1, *myTable));
  EXPECT_QDX_ERROR(mine->RemoveSession(*leaves), 20201, "Some table locks still exist");
  ASSERT_TRUE(mine->IsOpen());
  auto again = Connect(*mine, true);
  EXPECT_EQ(again->SessionID(), number);
  EXPECT_TRUE(mine->TableLockManager()->Locks(number).empty());

  auto other = Connect(*theirs, true);
  const platform::CriticalSectionGuard holdTheirs(theirs->PageManager()->DatabaseLock());
  auto theirTable = Table(*theirs, keys[0]);
  EXPECT_TRUE(theirs->TableLockManager()->LockTable(other->SessionID(), Kind::Exclusive, false,
                                                    false, 2, 1, *theirTable));
  EXPECT_TRUE(theirs->TableLockManager()->UnlockTable(other->SessionID(), Kind::Exclusive, false,
                                                      false, *theirTable));
  for (auto* session : {again.get(), stays.get()}) mine->RemoveSession(*session);
  theirs->RemoveSession(*other);
}

TEST_F(DatabaseLocksTest, TableDataWrappersLockOnlyInMultiUserModeAndCountReadAndWriteLocks) {
  const auto* table = reinterpret_cast<const TQDXTableData*>(this);  // only its identity counts
  {
    auto single = Open();
    auto session = Connect(*single, false);
    const platform::CriticalSectionGuard held(single->PageManager()->DatabaseLock());
    auto file = Table(*single, keys[0]);
    TQDXDiskTableLocks locks(*single, table, *file);
    EXPECT_TRUE(locks.LockTable(0, Kind::Exclusive, false, false, 2, 1));
    EXPECT_TRUE(single->TableLockManager()->Locks(0).empty());
    EXPECT_TRUE(locks.LockRecord(0, 2, 1, {1, 1}));
    EXPECT_FALSE(locks.IsRecordLocked(0, {1, 1}));
    EXPECT_TRUE(locks.UnlockTable(0, Kind::Exclusive, false, false));
    single->RemoveSession(*session);
  }
  auto multi = Open();
  auto session = Connect(*multi, true);
  const platform::CriticalSectionGuard held(multi->PageManager()->DatabaseLock());
  const int32_t s = session->SessionID();
  auto file = Table(*multi, keys[0]);
  TQDXDiskTableLocks locks(*multi, table, *file);
  TQDXDiskTablePagesCacheManager& cache = multi->PageManager()->TablePagesCache();
  cache.PushTable(s, table);
  // A session's version of the table lives while it holds a read or a commit lock.
  for (Kind kind : {Kind::Read, Kind::Commit}) {
    ASSERT_TRUE(locks.LockTable(s, kind, false, false, 2, 1));
    cache.SetVersion(s, table, 41);
    EXPECT_EQ(cache.CurrentVersion(s), 41);
    ASSERT_TRUE(locks.UnlockTable(s, kind, false, false));
    EXPECT_FALSE(cache.CurrentVersion(s).has_value());
  }
  ASSERT_TRUE(locks.LockTable(s, Kind::Open, false, false, 2, 1));
  cache.SetVersion(s, table, 42);
  EXPECT_FALSE(cache.CurrentVersion(s).has_value());
  EXPECT_TRUE(locks.LockRecord(s, 2, 1, {1, 1}));
  EXPECT_FALSE(locks.IsRecordLocked(s, {1, 1}));  // its own
  EXPECT_TRUE(locks.UnlockRecord(s, {1, 1}));
  EXPECT_TRUE(locks.UnlockTable(s, Kind::Open, false, false));
  cache.PopTable(s);
  multi->RemoveSession(*session);
}

// --- Several processes ------------------------------------------------------------------------

// Reads one byte, waiting at most `timeoutMs`: a child that died must not hang the test.
bool ReadByte(int fd, char* byte, int timeoutMs = 30000) {
  pollfd wait{fd, POLLIN, 0};
  return ::poll(&wait, 1, timeoutMs) == 1 && ::read(fd, byte, 1) == 1;
}

// Waits for a child and answers its exit status, or -1 when it did not exit normally.
int WaitForChild(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Whether any session holds a kind byte or the file lock of the table, seen from a handle of
// its own.
bool AnythingLocked(const std::string& path, int32_t key) {
  testing::THeldDiskPageManager pm;
  OpenMultiUser(pm, path);
  TQDXTableLocksFile file(pm);
  file.Open(key);
  bool locked = !file.LockFile() || !file.UnlockFile();
  for (int kind = 0; kind < 6; ++kind) {
    // Sessions 0 and 1 each leave out their own byte: together they see every one.
    locked = locked || file.IsKindHeldByOthers(0, KindOf(kind)) ||
             file.IsKindHeldByOthers(1, KindOf(kind));
  }
  pm.CloseDatabaseFile();
  return locked;
}

// What a random locker found: 0 all well, 1 two sessions held incompatible locks at once,
// 2 an error, 3 its locks could not all be released.
int RunRandomLocker(const std::string& path, const std::vector<int32_t>& keys, uint32_t seed,
                    int operations, int doneFd, int goFd) {
  try {
    TQDXDiskDatabaseData data(path);
    data.LockRetryCount = 500;
    data.LockRetryPause = 2;
    data.LockTiming = {3, 2};
    TQDXBaseSession session;
    session.SetMultiUser(true);
    data.AddSession(session);
    const platform::CriticalSectionGuard held(data.PageManager()->DatabaseLock());
    const int32_t me = session.SessionID();
    TQDXDatabaseTableLockManager& manager = *data.TableLockManager();
    std::vector<std::unique_ptr<TQDXTableLocksFile>> tables;
    for (int32_t key : keys) {
      tables.push_back(std::make_unique<TQDXTableLocksFile>(*data.PageManager()));
      tables.back()->Open(key);
    }
    // Under the file lock (or the session's exclusive lock, which is the file lock), no other
    // session may hold a kind that conflicts with one this session holds, nor its record.
    const auto consistent = [&](TQDXTableLocksFile& file) {
      const std::vector<TQDXTableLockEntry> held = manager.Locks(me);
      const bool exclusive = std::ranges::any_of(held, [&](const TQDXTableLockEntry& entry) {
        return entry.Kind == Kind::Exclusive && entry.TableKey == file.StartPage();
      });
      bool fileLocked = exclusive;
      for (int attempt = 0; !fileLocked && attempt < 500; ++attempt) {
        fileLocked = file.LockFile();
        if (!fileLocked) platform::Sleep(1);
      }
      if (!fileLocked) return true;  // nothing to check against
      bool ok = true;
      for (const TQDXTableLockEntry& entry : held) {
        if (entry.TableKey != file.StartPage()) continue;
        for (int other = 0; other < 7; ++other) {
          if (kMatrix[other][static_cast<int>(entry.Kind)] == '0' &&
              file.IsKindHeldByOthers(me, KindOf(other))) {
            ok = false;
          }
        }
        if (entry.Kind == Kind::Records && file.IsRecordLockedByOthers(me, entry.RecordID))
          ok = false;
      }
      if (!exclusive) file.UnlockFile();
      return ok;
    };

    // As a cursor does: a record lock only under a table lock that keeps other editors out,
    // given up before that table lock.
    const auto editing = [&](int32_t tableKey) {
      return std::ranges::any_of(manager.Locks(me), [&](const TQDXTableLockEntry& entry) {
        return entry.TableKey == tableKey &&
               (entry.Kind == Kind::Edit || entry.Kind == Kind::TransactionEdit ||
                entry.Kind == Kind::Commit || entry.Kind == Kind::Exclusive);
      });
    };

    std::mt19937 random(seed);
    bool ok = true;
    const uint32_t start = platform::GetTickCount();
    for (int i = 0; i < operations && platform::GetTickCount() - start < 4000; ++i) {
      TQDXTableLocksFile& file = *tables[random() % tables.size()];
      const std::vector<TQDXTableLockEntry> held = manager.Locks(me);
      switch (random() % 8) {
        case 0:
        case 1:
        case 2: {
          const Kind kind = KindOf(static_cast<int>(random() % 7));
          if (kind == Kind::Records) break;
          if (manager.LockTable(me, kind, false, false, 4, 3, file)) ok = consistent(file) && ok;
          break;
        }
        case 3:
        case 4:
          if (!held.empty()) {
            const TQDXTableLockEntry& entry = held[random() % held.size()];
            if (entry.Kind == Kind::Records) break;
            for (auto& table : tables) {
              if (table->StartPage() != entry.TableKey) continue;
              manager.UnlockRecord(me, *table, {});
              manager.UnlockTable(me, entry.Kind, false, false, *table);
            }
          }
          break;
        case 5:
        case 6:
          if (editing(file.StartPage()) &&
              manager.LockRecord(me, file, 2, 3, {static_cast<int32_t>(random() % 3), 0})) {
            ok = consistent(file) && ok;
          }
          break;
        default:
          manager.UnlockRecord(me, file, {});
          break;
      }
    }
    // Everything released through the protocol, record locks first.
    for (int round = 0; round < 20 && !manager.Locks(me).empty(); ++round) {
      for (auto& table : tables) manager.UnlockRecord(me, *table, {});
      for (const TQDXTableLockEntry& entry : manager.Locks(me)) {
        for (auto& table : tables) {
          if (table->StartPage() == entry.TableKey)
            manager.UnlockTable(me, entry.Kind, true, true, *table);
        }
      }
    }
    const bool released = manager.Locks(me).empty();
    // The parent looks at the file while this process still has it open.
    char byte = 1;
    if (::write(doneFd, &byte, 1) != 1 || ::read(goFd, &byte, 1) != 1) return 2;
    data.RemoveSession(session);
    if (!ok) return 1;
    return released ? 0 : 3;
  } catch (...) {
    return 2;
  }
}

TEST_F(DatabaseLocksTest, ForkedProcessesNeverHoldIncompatibleLocksAndLeaveNothingBehind) {
  constexpr int kProcesses = 4;
  const char* longRun = std::getenv("QDX_LOCK_STRESS_OPS");
  const int operations = longRun != nullptr ? std::atoi(longRun) : 400;
  const uint32_t seed = ::testing::UnitTest::GetInstance()->random_seed();
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  int done[2];
  int go[2];
  ASSERT_EQ(::pipe(done), 0);
  ASSERT_EQ(::pipe(go), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < kProcesses; ++i) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::_exit(RunRandomLocker(path, keys, seed * 31 + static_cast<uint32_t>(i), operations, done[1],
                              go[0]));
    }
    ASSERT_GT(pid, 0);
    children.push_back(pid);
  }
  char byte = 0;
  int finished = 0;
  ::close(done[1]);
  ::close(go[0]);
  while (finished < kProcesses && ReadByte(done[0], &byte)) ++finished;
  EXPECT_EQ(finished, kProcesses);
  // Released through the protocol, not by the ends of the processes.
  for (int32_t key : keys) EXPECT_FALSE(AnythingLocked(path, key));
  for (int i = 0; i < kProcesses; ++i) EXPECT_EQ(::write(go[1], &byte, 1), 1);
  for (pid_t pid : children) EXPECT_EQ(WaitForChild(pid), 0);
  ::close(done[0]);
  ::close(go[1]);
}

TEST_F(DatabaseLocksTest, KilledProcessLeavesNoLockBehind) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Holds its locks until it is killed; ends by itself only when it could not take them.
    const auto holdLocks = [&]() -> char {
      TQDXDiskDatabaseData data(path);
      TQDXBaseSession session;
      session.SetMultiUser(true);
      data.AddSession(session);
      const platform::CriticalSectionGuard held(data.PageManager()->DatabaseLock());
      const int32_t me = session.SessionID();
      TQDXTableLocksFile first(*data.PageManager());
      TQDXTableLocksFile second(*data.PageManager());
      first.Open(keys[0]);
      second.Open(keys[1]);
      TQDXDatabaseTableLockManager& manager = *data.TableLockManager();
      if (manager.LockTable(me, Kind::Exclusive, false, false, 2, 1, first) &&
          manager.LockTable(me, Kind::Edit, false, false, 2, 1, second) &&
          manager.LockRecord(me, second, 2, 1, {5, 5})) {
        const char holding = 0;
        if (::write(ready[1], &holding, 1) == 1) {
          for (;;) ::pause();
        }
      }
      return 1;
    };
    try {
      ::_exit(holdLocks());
    } catch (...) {
      ::_exit(2);
    }
  }
  ASSERT_GT(pid, 0);
  ::close(ready[1]);
  char byte = 1;
  const bool holding = ReadByte(ready[0], &byte) && byte == 0;
  ::close(ready[0]);
  if (!holding) {
    ::kill(pid, SIGKILL);
    WaitForChild(pid);
  }
  ASSERT_TRUE(holding);

  auto data = Open();
  auto session = Connect(*data, true);
  const platform::CriticalSectionGuard held(data->PageManager()->DatabaseLock());
  const int32_t me = session->SessionID();
  auto first = Table(*data, keys[0]);
  auto second = Table(*data, keys[1]);
  TQDXDatabaseTableLockManager& manager = *data->TableLockManager();
  EXPECT_FALSE(manager.LockTable(me, Kind::Open, false, false, 2, 1, *first));
  EXPECT_FALSE(manager.LockTable(me, Kind::TransactionEdit, false, false, 2, 1, *second));
  EXPECT_TRUE(manager.IsRecordLocked(me, *second, {5, 5}));

  ::kill(pid, SIGKILL);
  EXPECT_EQ(WaitForChild(pid), -1);
  EXPECT_TRUE(manager.LockTable(me, Kind::Exclusive, false, false, 2, 1, *first));
  EXPECT_TRUE(manager.LockTable(me, Kind::Exclusive, false, false, 2, 1, *second));
  EXPECT_TRUE(manager.UnlockTable(me, Kind::Exclusive, false, false, *second));
  EXPECT_FALSE(manager.IsRecordLocked(me, *second, {5, 5}));
  EXPECT_TRUE(manager.LockRecord(me, *second, 2, 1, {5, 5}));
  EXPECT_TRUE(manager.UnlockRecord(me, *second, {5, 5}));
  EXPECT_TRUE(manager.UnlockTable(me, Kind::Exclusive, false, false, *first));
  data->RemoveSession(*session);
}

}  // namespace
}  // namespace qdx
