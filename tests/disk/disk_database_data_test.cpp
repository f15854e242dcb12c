#include "engine/disk/disk_database_data.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/core/base_session.h"
#include "engine/core/page_handle.h"
#include "engine/foundation/cipher/engine_cipher.h"
#include "tests/disk/disk_test_support.h"
#include "tests/fault_file_system.h"

namespace qdx {
namespace {

using testing::TempDirTest;

constexpr int64_t kPage = 4096;
int64_t PageOffset(int32_t pageNo) {
  return 380 + pageNo * kPage;
}

class DiskDatabaseDataTest : public TempDirTest {
 protected:
  std::unique_ptr<TQDXDiskDatabaseData> NewData() {
    auto data = std::make_unique<TQDXDiskDatabaseData>(path);
    data->LockRetryCount = 3;
    data->LockRetryPause = 1;
    return data;
  }
  void Create(int32_t maxConnections = TQDXDiskDatabaseData::kDefaultMaxConnections) {
    auto data = NewData();
    data->MaxConnections = maxConnections;
    data->CreateDatabase();
  }
  static std::unique_ptr<TQDXBaseSession> Session(bool multiUser) {
    auto session = std::make_unique<TQDXBaseSession>();
    session->SetMultiUser(multiUser);
    return session;
  }
};

TEST_F(DiskDatabaseDataTest, NewDatabaseHasTheDocumentedLayout) {
  Create();
  const std::vector<uint8_t> file = ReadAll();
  ASSERT_EQ(file.size(), 380u + 6 * 4096);
  // Header after the one commit of the creation.
  std::vector<uint8_t> header = {0x51, 0x55, 0x45, 0x4E, 0x44, 0x52, 0x49, 0x58, 0x44, 0x41, 0x54,
                                 0x41, 0x42, 0x41, 0x53, 0x45, 0x4C, 0x00, 0x5C, 0x8F, 0xC2, 0xF5,
                                 0x28, 0x5C, 0x18, 0x40, 0x00, 0x10, 0x08, 0x00, 0x06, 0x00, 0x00,
                                 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00};
  header.resize(76, 0);
  EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 76), header);
  EXPECT_EQ(file[PageOffset(0) + 40], 0x1F);  // PFS: pages 0 to 4 in use
  EXPECT_EQ(file[PageOffset(1) + 40], 0x01);  // EAM: extent 0 has a free page

  // Page 2: the directory, plain, 10 bytes of entries: kind 2 at page 3, kind 1 at page 4.
  const uint8_t* dir = file.data() + PageOffset(2);
  EXPECT_EQ(dir[8], 4);
  const std::vector<uint8_t> content(dir + 40, dir + 60);
  EXPECT_EQ(content, (std::vector<uint8_t>{10, 10, 0, 0, 0, 10, 0, 0, 0, 0,  //
                                           2,  3,  0, 0, 0, 1,  4, 0, 0, 0}));
  // Page 3: the session slot file of 500 bytes; page 4: the empty table list.
  const uint8_t* slots = file.data() + PageOffset(3);
  EXPECT_EQ(slots[8], 5);
  EXPECT_EQ(std::vector<uint8_t>(slots + 40, slots + 45),
            (std::vector<uint8_t>{10, 0xF4, 1, 0, 0}));
  const uint8_t* list = file.data() + PageOffset(4);
  EXPECT_EQ(list[8], 6);
  EXPECT_EQ(std::vector<uint8_t>(list + 40, list + 50),
            (std::vector<uint8_t>{10, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(DiskDatabaseDataTest, SessionsOpenAndCloseTheDatabase) {
  Create();
  auto data = NewData();
  auto first = Session(false);
  auto second = Session(false);
  data->AddSession(*first);
  ASSERT_TRUE(data->IsOpen());
  EXPECT_EQ(first->SessionID(), 0);
  EXPECT_TRUE(data->AllSlotsLocked());
  EXPECT_FALSE(data->ReadOnly);
  EXPECT_EQ(data->MaxConnections, 500);
  data->AddSession(*second);
  EXPECT_EQ(second->SessionID(), 0);

  // Tables of the file, through the table list, under the database's lock as the table engine
  // uses it.
  const platform::CriticalSectionGuard held(data->PageManager()->DatabaseLock());
  data->TableList()->AddTable(data->NextObjectID(), "Brandstofkosten", 1, 2, 3);
  data->TableList()->Save();
  data->CommitTransaction(kSystemSessionID, true);
  std::vector<std::string> names;
  data->GetTableNames(names);
  EXPECT_EQ(names, std::vector<std::string>{"Brandstofkosten"});
  EXPECT_TRUE(data->TableExists("BRANDSTOFKOSTEN"));
  EXPECT_FALSE(data->TableExists("Autogegevens"));

  // A multi-user session cannot join a single-user database.
  auto multi = Session(true);
  EXPECT_QDX_ERROR(data->AddSession(*multi), 20235,
                   "Cannot open database in multi-user and signle-user mode at the same time");

  data->RemoveSession(*first);
  EXPECT_TRUE(data->IsOpen());
  data->RemoveSession(*second);
  EXPECT_FALSE(data->IsOpen());
  EXPECT_QDX_ERROR(data->GetTableNames(names), 20131, "Pointer is nil");
  EXPECT_QDX_ERROR(data->NextObjectID(), 20131, "Pointer is nil");
  EXPECT_QDX_ERROR(data->CommitTransaction(0, true), 20131, "Pointer is nil");
  EXPECT_EQ(data->Sessions().size(), 0u);
}

TEST_F(DiskDatabaseDataTest, SecondProcessSingleUserBecomesReadOnly) {
  Create();
  auto mine = NewData();
  auto theirs = NewData();
  auto a = Session(false);
  auto b = Session(false);
  mine->AddSession(*a);
  theirs->AddSession(*b);
  EXPECT_FALSE(mine->ReadOnly);
  EXPECT_TRUE(theirs->ReadOnly);
  EXPECT_FALSE(theirs->AllSlotsLocked());

  // A multi-user process cannot connect while a single-user one holds the slots.
  auto multiData = NewData();
  auto m = Session(true);
  EXPECT_QDX_ERROR(multiData->AddSession(*m), 20094, "Maximum connections quantity exceeded");
  EXPECT_FALSE(multiData->IsOpen());

  theirs->RemoveSession(*b);
  EXPECT_FALSE(theirs->ReadOnly);  // forced by that open only
  mine->RemoveSession(*a);
  // Everything was given back: a multi-user session connects now.
  multiData->AddSession(*m);
  EXPECT_EQ(m->SessionID(), 0);
  multiData->RemoveSession(*m);
}

TEST_F(DiskDatabaseDataTest, MultiUserSessionsTakeSlotsInOrder) {
  Create(3);
  std::vector<std::unique_ptr<TQDXDiskDatabaseData>> processes;
  std::vector<std::unique_ptr<TQDXBaseSession>> sessions;
  for (int i = 0; i < 3; ++i) {
    processes.push_back(NewData());
    sessions.push_back(Session(true));
    processes.back()->AddSession(*sessions.back());
    EXPECT_EQ(sessions.back()->SessionID(), i);
    EXPECT_EQ(processes.back()->MaxConnections, 3);
  }
  auto fourth = NewData();
  auto extra = Session(true);
  EXPECT_QDX_ERROR(fourth->AddSession(*extra), 20094, "Cannot connect session");

  // A single-user process sees connected sessions and opens read-only.
  auto single = NewData();
  auto s = Session(false);
  single->AddSession(*s);
  EXPECT_TRUE(single->ReadOnly);
  single->RemoveSession(*s);

  processes[1]->RemoveSession(*sessions[1]);
  fourth->AddSession(*extra);
  EXPECT_EQ(extra->SessionID(), 1);  // the freed slot
  fourth->RemoveSession(*extra);
  for (int i : {0, 2}) processes[i]->RemoveSession(*sessions[i]);
}

// The tables lock byte that will not unlock (the call and its retry fail) is reported; the byte
// stays locked, so another process keeps waiting, until the holder's next lock and unlock frees
// it. The holder's count is not thrown off: an unlock without a lock is still refused.
TEST_F(DiskDatabaseDataTest, ATablesUnlockThatFailsIsReportedAndTheNextUnlockFreesTheByte) {
  Create();
  auto mine = NewData();
  auto theirs = NewData();
  auto a = Session(true);
  auto b = Session(true);
  mine->AddSession(*a);
  theirs->AddSession(*b);

  mine->LockTables();
  {
    testing::FaultFileSystem faults;
    const platform::FileSystemScope scope(faults);
    faults.Fail(testing::FileCall::Unlock, 1, EIO, 2);
    EXPECT_QDX_ERROR(mine->UnlockTables(), 20211, "Cannot unlock database tables");
    EXPECT_EQ(faults.Failures(), 2);
  }
  EXPECT_QDX_ERROR(theirs->LockTables(), 20210, "Database tables are locked");

  mine->LockTables();
  mine->UnlockTables();
  EXPECT_QDX_ERROR(mine->UnlockTables(), 20211, "Cannot unlock database tables");
  theirs->LockTables();
  theirs->UnlockTables();

  theirs->RemoveSession(*b);
  mine->RemoveSession(*a);
}

TEST_F(DiskDatabaseDataTest, OpenFailuresLeaveTheObjectClosed) {
  auto data = NewData();
  auto session = Session(false);
  EXPECT_QDX_ERROR(data->AddSession(*session), 30364, "Cannot open file");
  EXPECT_FALSE(data->IsOpen());
  EXPECT_TRUE(data->Sessions().empty());

  // A database whose directory page is damaged.
  Create();
  Patch(PageOffset(2) + 8, {9, 0});
  EXPECT_QDX_ERROR(data->AddSession(*session), 20153, "Expecting type 4, but found 9");
  EXPECT_FALSE(data->IsOpen());
}

TEST_F(DiskDatabaseDataTest, EncryptedDatabaseNeedsItsPassword) {
  auto data = NewData();
  data->Password = {"geheim", 1};
  data->CreateDatabase();
  auto reader = NewData();
  auto session = Session(false);
  EXPECT_QDX_ERROR(reader->AddSession(*session), 30445, "");
  session->Password = {"geheim", 1};
  reader->AddSession(*session);
  EXPECT_TRUE(reader->IsEncrypted());
  std::vector<std::string> names;
  reader->GetTableNames(names);
  EXPECT_TRUE(names.empty());
  reader->RemoveSession(*session);
}

// The ciphers keyed with a database's password, and the password copies they keep, are wiped
// when the database disconnects: on the thread that read its pages and on any other thread that
// coded with them meanwhile.
TEST_F(DiskDatabaseDataTest, DisconnectWipesTheKeyedCiphersOfEveryThread) {
  auto data = NewData();
  data->Password = {"geheim", 1};
  data->CreateDatabase();
  ClearCipherCache();
  auto reader = NewData();
  auto session = Session(false);
  session->Password = {"geheim", 1};
  reader->AddSession(*session);
  std::vector<std::string> names;
  reader->GetTableNames(names);
  EXPECT_GT(CipherCacheSize(), 0u);

  std::mutex mutex;
  std::condition_variable changed;
  int step = 0;  // 1: the other thread has coded; 2: the database is closed; 3: it has looked
  size_t otherAfterClose = 0;
  std::thread other([&] {
    std::vector<uint8_t> page(64, 7);
    EXPECT_TRUE(EncryptBuffer(1, page, "geheim"));
    std::unique_lock lock(mutex);
    step = 1;
    changed.notify_all();
    changed.wait(lock, [&] { return step == 2; });
    otherAfterClose = CipherCacheSize();
    step = 3;
    changed.notify_all();
  });
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return step == 1; });
  }
  reader->RemoveSession(*session);
  EXPECT_EQ(CipherCacheSize(), 0u);
  {
    std::unique_lock lock(mutex);
    step = 2;
    changed.notify_all();
    changed.wait(lock, [&] { return step == 3; });
  }
  other.join();
  EXPECT_EQ(otherAfterClose, 0u);
}

// The table list's operations on a database that is not open say so, each with its code,
// rather than reach through a missing list.
TEST_F(DiskDatabaseDataTest, TableListOperationsOfAClosedDatabaseFail) {
  Create();
  auto data = NewData();
  struct Case {
    const char* what;
    std::function<void()> action;
    int32_t code;
  };
  const std::vector<Case> cases = {
      {"add", [&] { data->AddTableToList(7, "Kosten", 1, 2, 3); }, 20129},
      {"find", [&] { data->FindTableInList("Kosten"); }, 20130},
      {"delete", [&] { data->DeleteTableFromList("Kosten"); }, 20131},
      {"rename", [&] { data->RenameTableInList("Kosten", "Uitgaven"); }, 20131},
  };
  const auto expectRefused = [&] {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      EXPECT_QDX_ERROR(c.action(), c.code, "Pointer is nil");
    }
  };
  expectRefused();
  // Once open they work.
  auto session = Session(false);
  data->AddSession(*session);
  data->AddTableToList(7, "Kosten", 1, 2, 3);
  EXPECT_EQ(data->FindTableInList("KOSTEN").TableID, 7);
  data->RenameTableInList("Kosten", "Uitgaven");
  EXPECT_EQ(data->FindTableInList("uitgaven").TableID, 7);
  data->DeleteTableFromList("Uitgaven");
  EXPECT_QDX_ERROR(data->FindTableInList("Uitgaven"), 30396, "Uitgaven");
  data->CommitTransaction(kSystemSessionID, false);
  data->RemoveSession(*session);
  expectRefused();
}

TEST_F(DiskDatabaseDataTest, RollbackDropsTheSessionsPages) {
  Create();
  auto data = NewData();
  auto session = Session(false);
  data->AddSession(*session);
  const platform::CriticalSectionGuard held(data->PageManager()->DatabaseLock());
  data->TableList()->AddTable(1, "Weg", 1, 2, 3);
  data->TableList()->Save();
  data->RollbackTransaction(kSystemSessionID);
  std::vector<std::string> names;
  data->GetTableNames(names);
  EXPECT_TRUE(names.empty());
  data->RemoveSession(*session);
}

// Another process's commit lands between two reads of a multi-user reader of the table list:
// the reader must see the list whole, as it was or as it became. For every N the commit is
// tried just before the reader's N-th read, for a reader that opens the database and for one
// that lists the tables of an open database. While the reader holds the tables lock the commit
// is refused, which is the lock doing its work.
TEST_F(DiskDatabaseDataTest, MultiUserTableListReadsSeeWholeCommits) {
  {
    auto creator = NewData();
    // Pages of 256 bytes: each entry of 272 bytes spans two pages.
    creator->PageSize = 256;
    creator->MaxConnections = 4;
    creator->CreateDatabase();
  }
  const std::vector<std::string> tables = {"Brandstofkosten", "Onderhoud", "Verzekering"};
  std::vector<std::vector<std::string>> wholeLists;  // the rotations of `tables`
  for (size_t i = 0; i < tables.size(); ++i) {
    std::vector<std::string> list = tables;
    std::rotate(list.begin(), list.begin() + static_cast<ptrdiff_t>(i), list.end());
    wholeLists.push_back(list);
  }

  auto writer = NewData();
  auto writerSession = Session(true);
  writer->AddSession(*writerSession);
  // One commit of the writer: the first entry moves to the end, which rewrites every page of
  // the list. The writer holds the tables lock to the end of its commit, as table changes do.
  const auto change = [&](bool rotate) {
    writer->LockTables();
    try {
      {
        const platform::CriticalSectionGuard held(writer->Lock());
        TQDXTableListFile& list = *writer->TableList();
        list.Load();
        if (rotate) {
          const std::string first = list.Entries().front().TableName;
          const TQDXTableListFile::TableInfo info = list.FindTable(first);
          list.DeleteTable(first);
          list.AddTable(info.TableID, first, info.LocksStartPage, info.MostUpdatedStartPage,
                        info.MetadataStartPage);
        } else {
          for (size_t i = 0; i < tables.size(); ++i) {
            const int32_t n = static_cast<int32_t>(i);
            list.AddTable(100 + n, tables[i], 10 * n, 10 * n + 1, 10 * n + 2);
          }
        }
        list.Save();
      }
      writer->CommitTransaction(kSystemSessionID, false);
    } catch (...) {
      writer->RollbackTransaction(kSystemSessionID);
      writer->UnlockTables();
      throw;
    }
    writer->UnlockTables();
  };
  change(false);

  auto lister = NewData();
  auto listerSession = Session(true);
  lister->AddSession(*listerSession);
  const auto openAndRead = [&] {
    auto opener = NewData();
    auto session = Session(true);
    opener->AddSession(*session);
    std::vector<std::string> names;
    for (const TQDXTableListEntry& entry : opener->TableList()->Entries()) {
      names.push_back(entry.TableName);
    }
    opener->RemoveSession(*session);
    return names;
  };
  const auto list = [&] {
    std::vector<std::string> names;
    lister->GetTableNames(names);
    return names;
  };

  testing::FaultFileSystem files;
  const platform::FileSystemScope scope(files);
  for (const auto& [what, read] :
       std::vector<std::pair<std::string, std::function<std::vector<std::string>()>>>{
           {"open", openAndRead}, {"listing", list}}) {
    files.Reset();
    read();
    const int64_t reads = files.Count(testing::FileCall::Read);
    int landed = 0;
    int refused = 0;
    for (int64_t n = 1; n <= reads; ++n) {
      int64_t seen = 0;
      bool writing = false;
      files.Observe([&](testing::FileCall call) {
        if (writing || call != testing::FileCall::Read || ++seen != n) return;
        writing = true;
        try {
          change(true);
          ++landed;
        } catch (const EQDXException& e) {
          // The tables lock, or the database lock of the open's header read.
          EXPECT_THAT(e.ErrorCode(), ::testing::AnyOf(20210, 20213)) << e.Message();
          ++refused;
        }
        writing = false;
      });
      std::vector<std::string> names;
      try {
        names = read();
      } catch (const EQDXException& e) {
        ADD_FAILURE() << what << ", commit before read " << n << ": " << e.ErrorCode() << " "
                      << e.Message();
      }
      files.Observe(nullptr);
      EXPECT_THAT(wholeLists, ::testing::Contains(names))
          << what << ", commit before read " << n << ": "
          << ::testing::PrintToString(names);
    }
    // The reads of the list kept the commits out; the open's other reads let them in.
    EXPECT_GT(refused, 0) << what;
    if (what == "open") {
      EXPECT_GT(landed, 0);
    }
  }
  lister->RemoveSession(*listerSession);
  writer->RemoveSession(*writerSession);
}

// A database given a file system of its own makes every system call through it, whatever is
// current: databases with wrappers of their own work side by side on separate threads, and a
// fault in one of them leaves the others alone.
TEST_F(DiskDatabaseDataTest, EachDatabaseCallsTheFileSystemItWasGiven) {
  const std::string other = (dir_ / "other.qdx").string();
  Create();
  TQDXDiskDatabaseData(other).CreateDatabase();

  // Adds a table to the list and commits it; the session stays for the caller to remove.
  const auto addTable = [](TQDXDiskDatabaseData& data, const std::string& name) {
    const platform::CriticalSectionGuard held(data.PageManager()->DatabaseLock());
    data.TableList()->AddTable(data.NextObjectID(), name, 1, 2, 3);
    data.TableList()->Save();
    data.CommitTransaction(kSystemSessionID, true);
  };
  const auto tableNames = [](const std::string& file) {
    TQDXDiskDatabaseData data(file);
    auto session = Session(false);
    data.AddSession(*session);
    std::vector<std::string> names;
    data.GetTableNames(names);
    data.RemoveSession(*session);
    return names;
  };

  testing::FaultFileSystem current;
  {
    const platform::FileSystemScope scope(current);
    testing::FaultFileSystem firstFiles;
    testing::FaultFileSystem secondFiles;
    const auto work = [&](const std::string& file, testing::FaultFileSystem& files,
                          const std::string& table) {
      auto session = Session(false);
      TQDXDiskDatabaseData data(file, &files);
      data.AddSession(*session);
      addTable(data, table);
      data.RemoveSession(*session);
    };
    std::thread first([&] { work(path, firstFiles, "Brandstofkosten"); });
    std::thread second([&] { work(other, secondFiles, "Onderhoud"); });
    first.join();
    second.join();
    for (const testing::FileCall call : {testing::FileCall::Open, testing::FileCall::Read,
                                         testing::FileCall::Write, testing::FileCall::Flush}) {
      EXPECT_EQ(current.Count(call), 0) << testing::FileCallName(call);
      EXPECT_GT(firstFiles.Count(call), 0) << testing::FileCallName(call);
      EXPECT_EQ(firstFiles.Count(call), secondFiles.Count(call)) << testing::FileCallName(call);
    }
  }
  EXPECT_EQ(tableNames(path), std::vector<std::string>{"Brandstofkosten"});
  EXPECT_EQ(tableNames(other), std::vector<std::string>{"Onderhoud"});

  // Every write of one database fails from its commit on; the other commits as ever.
  auto brokenSession = Session(false);
  auto soundSession = Session(false);
  testing::FaultFileSystem failing;
  TQDXDiskDatabaseData broken(path, &failing);
  TQDXDiskDatabaseData sound(other);
  broken.AddSession(*brokenSession);
  sound.AddSession(*soundSession);
  failing.Fail(testing::FileCall::Write, failing.Count(testing::FileCall::Write) + 1, EIO,
               testing::FaultFileSystem::kForever);
  EXPECT_THROW(addTable(broken, "Verzekering"), EQDXException);
  EXPECT_GT(failing.Failures(), 0);
  addTable(sound, "Verzekering");
  sound.RemoveSession(*soundSession);
  EXPECT_EQ(tableNames(other), (std::vector<std::string>{"Onderhoud", "Verzekering"}));
}

TEST_F(DiskDatabaseDataTest, ProcessListFindsObjectsByFileName) {
  auto* data = new TQDXDiskDatabaseData(path);
  DatabaseDataList().Add(data);
  EXPECT_EQ(DatabaseDataList().Find(path), data);
  auto session = Session(false);
  Create();
  data->AddSession(*session);
  EXPECT_FALSE(data->FreeIfUnused());
  data->RemoveSession(*session);
  EXPECT_TRUE(data->FreeIfUnused());
  EXPECT_EQ(DatabaseDataList().Find(path), nullptr);
}

}  // namespace
}  // namespace qdx
