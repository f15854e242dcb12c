#include "engine/disk/disk_page_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/core/page_handle.h"
#include "engine/disk/commit_journal.h"
#include "engine/disk/free_space_manager.h"
#include "engine/foundation/crc32.h"
#include "engine/foundation/little_endian.h"
#include "tests/disk/disk_test_support.h"
#include "tests/fault_file_system.h"

namespace qdx {
namespace {

using testing::TempDirTest;
using testing::THeldDiskPageManager;

constexpr int64_t kPageArea = 380;
constexpr int64_t kPage = 4096;

int64_t PageOffset(int32_t pageNo) {
  return kPageArea + pageNo * kPage;
}

std::vector<uint8_t> Bytes(const std::vector<uint8_t>& all, int64_t position, int64_t count) {
  return {all.begin() + position, all.begin() + position + count};
}

bool Contains(const std::vector<uint8_t>& haystack, std::string_view needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
         haystack.end();
}

class DiskPageManagerTest : public TempDirTest {
 protected:
  // A manager that waits little for locks.
  static void Quick(TQDXDiskPageManager& pm) { pm.SetLockRetry(3, 1); }

  // A new database with the three pages every database starts with (system directory, session
  // slot file, table list), committed once.
  void CreateDatabase(const TQDXPassword& password = {}) {
    THeldDiskPageManager pm;
    Quick(pm);
    pm.CreateDatabaseFile(path, password);
    for (uint16_t type : {ptFileSystemDirectory, ptActiveSessionList, ptTableList}) {
      TQDXPageHandle page = TQDXPageHandle::Add(pm, kSystemSessionID, type);
      page->Data()[0] = 10;
    }
    pm.ApplyChanges(kSystemSessionID);
    pm.CloseDatabaseFile();
  }

  // Opens `path`; answers whether it needs repair.
  bool Open(TQDXDiskPageManager& pm, const TQDXPassword& password = {}, bool multiUser = false,
            bool readOnly = false) {
    Quick(pm);
    bool repair = false;
    pm.OpenDatabaseFile(path, password, multiUser, /*exclusive=*/false, repair, readOnly);
    return repair;
  }

  // Adds a record page whose data area is filled with `text` repeated, and commits it.
  int32_t AddTextPage(TQDXDiskPageManager& pm, std::string_view text, int32_t session = 0) {
    TQDXPageHandle page = TQDXPageHandle::Add(pm, session, ptTableRecord);
    for (int32_t i = 0; i < page->DataSize(); ++i) page->Data()[i] = text[i % text.size()];
    const int32_t pageNo = page->PageNo;
    page.Release();
    pm.ApplyChanges(session);
    return pageNo;
  }

  std::string PageText(TQDXDiskPageManager& pm, int32_t pageNo, size_t count, int32_t session = 0,
                       bool synchronize = true) {
    TQDXPageHandle page = TQDXPageHandle::Get(pm, session, pageNo, synchronize, kAnyPageType);
    return {reinterpret_cast<const char*>(page->Data()), count};
  }
};

TEST_F(DiskPageManagerTest, NewDatabaseHasTheDocumentedBytes) {
  CreateDatabase();
  const std::vector<uint8_t> file = ReadAll();
  ASSERT_EQ(file.size(), 380u + 6 * 4096);

  std::vector<uint8_t> header = {0x51, 0x55, 0x45, 0x4E, 0x44, 0x52, 0x49, 0x58,
                                 0x44, 0x41, 0x54, 0x41, 0x42, 0x41, 0x53, 0x45,  // signature
                                 0x4C, 0x00,                                      // 76
                                 0x5C, 0x8F, 0xC2, 0xF5, 0x28, 0x5C, 0x18, 0x40,  // 6.09
                                 0x00, 0x10,                                      // 4096
                                 0x08, 0x00,                                      // 8
                                 0x06, 0x00, 0x00, 0x00,                          // six pages
                                 0x04, 0x00, 0x00, 0x00,  // last used page 4
                                 0x01, 0x00, 0x00, 0x00,  // one commit
                                 0x02,                    // consistent
                                 0x00};                   // no password
  header.resize(76, 0);
  EXPECT_EQ(Bytes(file, 0, 76), header);

  std::vector<uint8_t> passwordBlock(280, 0);
  passwordBlock[0] = 0x18;
  passwordBlock[1] = 0x01;
  EXPECT_EQ(Bytes(file, 76, 280), passwordBlock);
  std::vector<uint8_t> lockBlock(20, 0);
  lockBlock[0] = 0x14;
  EXPECT_EQ(Bytes(file, 356, 20), lockBlock);
  EXPECT_EQ(Bytes(file, 376, 4), std::vector<uint8_t>(4, 0));  // NextObjectID

  // PFS page 0: pages 0 to 4 in use; EAM page 1: extent 0 has a free page.
  EXPECT_EQ(Bytes(file, PageOffset(0), 4), (std::vector<uint8_t>{'Q', 'D', 'X', 'P'}));
  EXPECT_EQ(Bytes(file, PageOffset(0) + 8, 2), (std::vector<uint8_t>{0x03, 0x00}));
  EXPECT_EQ(file[PageOffset(0) + 40], 0x1F);
  EXPECT_EQ(Bytes(file, PageOffset(1) + 8, 2), (std::vector<uint8_t>{0x02, 0x00}));
  EXPECT_EQ(file[PageOffset(1) + 40], 0x01);
  for (int32_t pageNo : {0, 1}) {
    const auto data = Bytes(file, PageOffset(pageNo) + 41, kPage - 41);
    EXPECT_TRUE(std::all_of(data.begin(), data.end(), [](uint8_t b) { return b == 0; }));
  }
  EXPECT_EQ(Bytes(file, PageOffset(2) + 8, 2), (std::vector<uint8_t>{0x04, 0x00}));
  EXPECT_EQ(Bytes(file, PageOffset(4) + 8, 2), (std::vector<uint8_t>{0x06, 0x00}));
  // Page 5 is still free: never written.
  const auto page5 = Bytes(file, PageOffset(5), kPage);
  EXPECT_TRUE(std::all_of(page5.begin(), page5.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(DiskPageManagerTest, OpenReportsRepairNeeded) {
  struct Case {
    uint8_t fileState;
    double version;
    bool repair;
  };
  for (const Case& c :
       {Case{2, 6.09, false}, Case{1, 6.09, true}, Case{2, 2.5, true}, Case{0, 6.09, true}}) {
    CreateDatabase();
    std::vector<uint8_t> version(8);
    le::Store(version.data(), c.version);
    Patch(18, version);
    Patch(42, {c.fileState});
    THeldDiskPageManager pm;
    EXPECT_EQ(Open(pm), c.repair) << int{c.fileState} << " " << c.version;
    EXPECT_EQ(PageText(pm, 2, 1), std::string(1, '\x0A'));
  }
}

TEST_F(DiskPageManagerTest, FindsADatabaseAppendedToOtherData) {
  CreateDatabase();
  {
    THeldDiskPageManager pm;
    Open(pm);
    AddTextPage(pm, "appended");
  }
  const std::vector<uint8_t> database = ReadAll();
  // 2^20 - 17: the signature and its HeaderSize straddle the end of the first window of the
  // search (1 MiB); the next one must find them whole.
  for (int64_t offset : {1, 100, 9983, 25000, (1 << 20) - 17, (1 << 20) - 16, 1 << 20}) {
    std::vector<uint8_t> file(offset, 0xAB);
    if (offset >= 18) {
      // A signature followed by another HeaderSize is not a database.
      const std::string decoy = "QUENDRIXDATABASE\x4D";
      std::copy(decoy.begin(), decoy.end(), file.begin());
      file[17] = 0;
    }
    file.insert(file.end(), database.begin(), database.end());
    WriteAll(file);

    THeldDiskPageManager pm;
    EXPECT_FALSE(Open(pm, {}, /*multiUser=*/true));
    EXPECT_EQ(pm.Layout().BaseOffset(), offset);
    EXPECT_EQ(PageText(pm, 5, 8), "appended");
    const int32_t added = AddTextPage(pm, "more");
    // The open gave back the lock it took before it knew where the database starts.
    THeldDiskPageManager second;
    EXPECT_FALSE(Open(second, {}, /*multiUser=*/true));
    EXPECT_EQ(PageText(second, added, 4), "more");
    second.CloseDatabaseFile();
    pm.CloseDatabaseFile();

    const std::vector<uint8_t> after = ReadAll();
    EXPECT_EQ(Bytes(after, 0, offset), Bytes(file, 0, offset)) << "data before the database";
    EXPECT_EQ(Bytes(after, offset + 380 + added * kPage + 40, 4),
              (std::vector<uint8_t>{'m', 'o', 'r', 'e'}));
    EXPECT_EQ(static_cast<int64_t>(after.size()),
              offset + 380 + kPage * le::Load<int32_t>(&after[offset + 30]));
  }
}

TEST_F(DiskPageManagerTest, RefusesFilesThatAreNotDatabases) {
  struct Case {
    const char* name;
    std::vector<uint8_t> patch;
    int64_t at;
    int32_t code;
    const char* text;
  };
  const std::vector<Case> cases = {
      {"signature",
       {'X'},
       0,
       10470,
       "Found signature: 'XUENDRIXDATABASE', expected: 'QUENDRIXDATABASE'"},
      {"password block size", {0x17, 0x01}, 76, 20237, "Invalid database format"},
      {"lock block size", {0x00, 0x00}, 356, 20237, "Invalid database format"},
  };
  for (const Case& c : cases) {
    CreateDatabase();
    Patch(c.at, c.patch);
    THeldDiskPageManager pm;
    EXPECT_QDX_ERROR(Open(pm), c.code, c.text);
    EXPECT_FALSE(pm.IsOpen()) << c.name;
  }
  // A file too short for a header.
  WriteAll({'Q', 'U'});
  THeldDiskPageManager pm;
  EXPECT_QDX_ERROR(Open(pm), 10470, "Invalid file format");
}

TEST_F(DiskPageManagerTest, PasswordIsCheckedBeforeTheBlockSize) {
  CreateDatabase({"secret", 4});
  {
    THeldDiskPageManager pm;
    EXPECT_QDX_ERROR(Open(pm, {"wrong", 4}), 30445, "Cannot open database - incorrect password");
    EXPECT_QDX_ERROR(Open(pm, {"", 0}), 30445, "incorrect password");
    // The algorithm comes from the file, not from the caller.
    EXPECT_FALSE(Open(pm, {"secret", 0}));
    EXPECT_EQ(pm.GetPassword().CryptoAlgorithm, 4);
  }
  Patch(76, {0x17, 0x01});
  THeldDiskPageManager pm;
  EXPECT_QDX_ERROR(Open(pm, {"wrong", 4}), 30445, "incorrect password");
  EXPECT_QDX_ERROR(Open(pm, {"secret", 4}), 20237, "Invalid database format");
}

TEST_F(DiskPageManagerTest, EncryptedPagesNeverReachTheFilePlain) {
  const std::string text = "PLAIN-TEXT-OF-A-RECORD-PAGE ";
  CreateDatabase({"secret", 4});
  int32_t pageNo;
  {
    THeldDiskPageManager pm;
    Open(pm, {"secret", 4});
    pageNo = AddTextPage(pm, text);
    // The cached copy stays plain after the write.
    EXPECT_EQ(PageText(pm, pageNo, text.size()), text);
  }
  const std::vector<uint8_t> file = ReadAll();
  EXPECT_FALSE(Contains(file, "PLAIN-TEXT"));
  const uint8_t* header = &file[PageOffset(pageNo)];
  EXPECT_EQ(page_header::PageCryptoAlgorithm(header), 4);
  std::vector<uint8_t> plain(kPage - 40);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = text[i % text.size()];
  EXPECT_EQ(page_header::PageCRC(header), RawCRC32(plain));
  // Map pages are never enciphered.
  EXPECT_EQ(file[PageOffset(0) + 40], 0x3F);
  EXPECT_EQ(file[PageOffset(1) + 40], 0x01);

  {
    THeldDiskPageManager pm;
    Open(pm, {"secret", 4});
    EXPECT_EQ(PageText(pm, pageNo, text.size()), text);
  }
  // A damaged enciphered page fails its checksum, unless checks are off.
  Patch(PageOffset(pageNo) + 100, {static_cast<uint8_t>(file[PageOffset(pageNo) + 100] ^ 1)});
  THeldDiskPageManager pm;
  Open(pm, {"secret", 4});
  EXPECT_QDX_ERROR(PageText(pm, pageNo, 1), 30446,
                   "Decrypt page error. Check CRC failed. PageNo: " + std::to_string(pageNo));
  pm.SetTypeCheckOff(true);
  EXPECT_NO_THROW(PageText(pm, pageNo, 1));
}

TEST_F(DiskPageManagerTest, AFailedHeaderReadKeepsTheHeaderImage) {
  const std::string text = "PLAIN-TEXT-OF-A-RECORD-PAGE ";
  CreateDatabase({"secret", 4});
  int32_t pageNo;
  {
    THeldDiskPageManager pm;
    Open(pm, {"secret", 4});
    pageNo = AddTextPage(pm, text);
  }
  THeldDiskPageManager pm;
  Open(pm, {"secret", 4});
  {
    testing::FaultFileSystem faults;
    platform::FileSystemScope scope(faults);
    faults.Fail(testing::FileCall::Read, 1, EIO, testing::FaultFileSystem::kForever);
    EXPECT_QDX_ERROR(pm.GetPageCount(), 10464, "Input/output error");
  }
  EXPECT_TRUE(pm.Header().IsEncrypted());
  // The page is read after the failure: deciphered, and its number within the file.
  EXPECT_EQ(PageText(pm, pageNo, text.size()), text);
  TQDXPageHandle page = TQDXPageHandle::Get(pm, 0, pageNo, true, ptTableRecord);
  page->Dirty = true;
  page.Release();
  pm.ApplyChanges(0);
  EXPECT_FALSE(Contains(ReadAll(), "PLAIN-TEXT"));
}

TEST_F(DiskPageManagerTest, PagesOutsideEncryptionStayPlain) {
  CreateDatabase({"secret", 0});
  THeldDiskPageManager pm;
  Open(pm, {"secret", 0});
  TQDXPageHandle page = TQDXPageHandle::Add(pm, 0, ptActiveSessionList);
  page->Encrypt = false;
  std::memcpy(page->Data(), "DIRECT-ACCESS", 13);
  const int32_t pageNo = page->PageNo;
  page.Release();
  pm.ApplyChanges(0);
  const std::vector<uint8_t> file = ReadAll();
  EXPECT_EQ(
      Bytes(file, PageOffset(pageNo) + 40, 13),
      (std::vector<uint8_t>{'D', 'I', 'R', 'E', 'C', 'T', '-', 'A', 'C', 'C', 'E', 'S', 'S'}));
  // The system directory, written through the same path, is enciphered.
  EXPECT_NE(file[PageOffset(2) + 40], 10);
}

TEST_F(DiskPageManagerTest, AFailedEncryptionWritesNothing) {
  // A database whose password block names an algorithm code without a cipher (9): its check
  // data "deciphers" to itself, so it opens, but no page can be enciphered with it.
  CreateDatabase();
  std::vector<uint8_t> block(280, 0);
  block[0] = 0x18;
  block[1] = 0x01;
  block[2] = 9;
  for (int i = 0; i < 256; ++i) block[4 + i] = static_cast<uint8_t>(i);
  le::Store(&block[260], RawCRC32(std::span<const uint8_t>(&block[4], 256)));
  Patch(76, block);
  Patch(43, {0xFF});

  THeldDiskPageManager pm;
  Open(pm, {"any", 0});
  TQDXPageHandle page = TQDXPageHandle::Add(pm, 0, ptTableRecord);
  std::memcpy(page->Data(), "SECRET", 6);
  const int32_t pageNo = page->PageNo;
  const int32_t version = page->PageVersion();
  page.Release();
  EXPECT_QDX_ERROR(pm.ApplyChanges(0), 20281, "Unknown crypto algorithm: 9");
  const std::vector<uint8_t> file = ReadAll();
  EXPECT_FALSE(Contains(file, "SECRET"));
  const auto stored = Bytes(file, PageOffset(pageNo), kPage);
  EXPECT_TRUE(std::all_of(stored.begin(), stored.end(), [](uint8_t b) { return b == 0; }));
  // The page is kept unchanged for a rollback.
  const TQDXPage* kept = pm.DirtyList(0)->Find(pageNo);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->PageVersion(), version);
  EXPECT_EQ(std::memcmp(kept->Data(), "SECRET", 6), 0);
  pm.CancelChanges(0);

  // Creating such a database is refused before the file exists.
  THeldDiskPageManager other;
  const std::string second = (dir_ / "second.qdx").string();
  EXPECT_QDX_ERROR(other.CreateDatabaseFile(second, {"x", 8}), 20282,
                   "Unknown crypto algorithm: 8");
  EXPECT_FALSE(std::filesystem::exists(second));
}

// A commit gives its journal up by clearing the journal's header: the file keeps its length, so
// that the next commit writes over its blocks, unless it grew past kKeptJournalSize; then it is
// cut to nothing.
TEST_F(DiskPageManagerTest, AGivenUpJournalKeepsItsLengthUnlessItGrewPastTheLimit) {
  CreateDatabase();
  THeldDiskPageManager pm;
  Open(pm);
  constexpr int32_t kPages = 300;
  static_assert(TQDXCommitJournal::kRecordsOffset + kPages * (12 + kPage) >
                TQDXCommitJournal::kKeptJournalSize);
  std::vector<int32_t> pages;
  for (int32_t i = 0; i < kPages; ++i) {
    pages.push_back(TQDXPageHandle::Add(pm, 0, ptTableRecord)->PageNo);
  }
  pm.ApplyChanges(0);
  const std::string journal = TQDXCommitJournal::PathFor(path);
  struct Case {
    int32_t Rewritten;
    bool Kept;
  };
  for (const Case c : {Case{kPages, false}, Case{1, true}, Case{20, true}, Case{2, true}}) {
    SCOPED_TRACE(c.Rewritten);
    for (int32_t i = 0; i < c.Rewritten; ++i) {
      TQDXPageHandle page = TQDXPageHandle::Get(pm, 0, pages[i], true, ptTableRecord);
      page->Data()[0] ^= 1;
      page->Dirty = true;
    }
    pm.ApplyChanges(0);
    const auto size = static_cast<int64_t>(std::filesystem::file_size(journal));
    if (!c.Kept) {
      EXPECT_EQ(size, 0);
      continue;
    }
    EXPECT_GE(size, TQDXCommitJournal::kRecordsOffset + c.Rewritten * (12 + kPage));
    std::ifstream in(journal, std::ios::binary);
    std::vector<char> header(TQDXCommitJournal::kJournalHeaderSize, 1);
    in.read(header.data(), static_cast<std::streamsize>(header.size()));
    EXPECT_TRUE(std::all_of(header.begin(), header.end(), [](char b) { return b == 0; }));
  }
  // The journal kept is none: the file opens without a repair question or a rollback.
  pm.CloseDatabaseFile();
  THeldDiskPageManager again;
  bool multiUser = false;
  bool repair = true;
  bool readOnly = false;
  again.OpenDatabaseFile(path, {}, multiUser, false, repair, readOnly);
  EXPECT_FALSE(repair);
}

TEST_F(DiskPageManagerTest, CommitWritesPagesUnderTheCrashMarker) {
  CreateDatabase();
  THeldDiskPageManager pm;
  Open(pm);
  const int32_t pageNo = AddTextPage(pm, "one");
  std::vector<uint8_t> file = ReadAll();
  EXPECT_EQ(file[42], kFileStateConsistent);
  EXPECT_EQ(le::Load<int32_t>(&file[38]), 2);

  // The FileState on disk before each write of the commit.
  testing::FaultFileSystem faults;
  platform::FileSystemScope scope(faults);
  std::vector<uint8_t> statesSeen;
  faults.Observe([&](testing::FileCall call) {
    if (call == testing::FileCall::Write) statesSeen.push_back(ReadAt(42, 1).at(0));
  });

  // A commit with nothing to write touches nothing.
  pm.ApplyChanges(0);
  pm.ApplyChanges(7);
  EXPECT_TRUE(statesSeen.empty());
  EXPECT_EQ(ReadAll(), file);

  // The journal's page record and header, the marker, the page, the consistent header, the
  // journal's header cleared.
  const auto changePage = [&] {
    TQDXPageHandle page = TQDXPageHandle::Get(pm, 0, pageNo, true, ptTableRecord);
    page->Dirty = true;
  };
  changePage();
  pm.ApplyChanges(0);
  EXPECT_EQ(statesSeen,
            (std::vector<uint8_t>{kFileStateConsistent, kFileStateConsistent, kFileStateConsistent,
                                  kFileStateWriting, kFileStateWriting, kFileStateConsistent}));
  EXPECT_EQ(ReadAt(42, 1).at(0), kFileStateConsistent);

  // A crash while the pages are written leaves FileState 1 and the journal: the next open
  // rolls the commit back and asks for no repair.
  changePage();
  faults.Reset();
  faults.Fail(testing::FileCall::Write, 4, EIO, testing::FaultFileSystem::kForever);
  EXPECT_QDX_ERROR(pm.ApplyChanges(0), 10469, "ErrorCode:5. ErrorMessage: Input/output error");
  faults.Reset();
  file = ReadAll();
  EXPECT_EQ(file[42], kFileStateWriting);
  EXPECT_EQ(le::Load<int32_t>(&file[38]), 3);
  pm.CancelChanges(0);
  pm.CloseDatabaseFile();
  THeldDiskPageManager reopened;
  EXPECT_FALSE(Open(reopened));
  file = ReadAll();
  EXPECT_EQ(file[42], kFileStateConsistent);
  EXPECT_EQ(le::Load<int32_t>(&file[38]), 3);
}

// A commit that fails at its N-th write, for every N, with a cache of two pages: the pages
// written before the failure hold their new text in the cache and in the file, the others
// their old text once the rollback dropped them. More pages than the cache keeps spare, so a
// page the full cache destroys is really freed (ASan reports any later touch).
TEST_F(DiskPageManagerTest, ACommitFailingAtAnyWriteLeavesTheCacheSound) {
  constexpr int32_t kPages = 40;
  const auto fill = [](TQDXPage& page, std::string_view text) {
    for (int32_t i = 0; i < page.DataSize(); ++i) page.Data()[i] = text[i % text.size()];
  };
  const auto filePageText = [&](int32_t pageNo) {
    const std::vector<uint8_t> bytes = ReadAt(PageOffset(pageNo) + 40, 3);
    return std::string(bytes.begin(), bytes.end());
  };
  int64_t writes = 0;
  bool failedAmidThePages = false;
  // Run 0 counts the writes of the whole commit.
  for (int64_t n = 0; n == 0 || n <= writes; ++n) {
    std::filesystem::remove(path);
    CreateDatabase();
    THeldDiskPageManager pm;
    Open(pm);
    std::vector<int32_t> pages;
    for (int32_t i = 0; i < kPages; ++i) {
      TQDXPageHandle page = TQDXPageHandle::Add(pm, 0, ptTableRecord);
      fill(*page, "old");
      pages.push_back(page->PageNo);
    }
    pm.ApplyChanges(0);
    pm.SetCacheLimit(2);
    for (int32_t pageNo : pages) {
      TQDXPageHandle page = TQDXPageHandle::Get(pm, 0, pageNo, true, ptTableRecord);
      fill(*page, "new");
      page->Dirty = true;
    }
    testing::FaultFileSystem faults;
    {
      platform::FileSystemScope scope(faults);
      if (n == 0) {
        pm.ApplyChanges(0);
        writes = faults.Count(testing::FileCall::Write);
        ASSERT_GT(writes, kPages);
        pm.CloseDatabaseFile();
        continue;
      }
      faults.Fail(testing::FileCall::Write, n, EIO, testing::FaultFileSystem::kForever);
      if (n < writes) {
        EXPECT_THROW(pm.ApplyChanges(0), EQDXException) << "write " << n;
      } else {
        // The last write gives the journal up, after the commit point: the commit stands and
        // the journal left behind is stale by its ChangeCounter.
        EXPECT_NO_THROW(pm.ApplyChanges(0));
      }
    }
    pm.CancelChanges(0);
    EXPECT_FALSE(pm.HasPendingChanges(0));
    EXPECT_LE(pm.SharedList().Count(), 2);
    int32_t changed = 0;
    for (int32_t pageNo : pages) {
      const std::string cached = PageText(pm, pageNo, 3);
      EXPECT_EQ(cached, filePageText(pageNo)) << "page " << pageNo << ", write " << n;
      changed += cached == "new" ? 1 : 0;
    }
    failedAmidThePages = failedAmidThePages || (changed > 0 && changed < kPages);
    pm.CloseDatabaseFile();
  }
  EXPECT_TRUE(failedAmidThePages);
}

TEST_F(DiskPageManagerTest, RefusedCommitsLeaveTheHeaderConsistent) {
  CreateDatabase();
  THeldDiskPageManager pm;
  Open(pm);
  const int32_t pageNo = AddTextPage(pm, "page");
  const int32_t other = AddTextPage(pm, "other");
  const std::vector<uint8_t> before = ReadAll();

  // A page still held while another waits to be written.
  {
    TQDXPageHandle changed = TQDXPageHandle::Get(pm, 0, other, true, ptTableRecord);
    changed->Dirty = true;
  }
  TQDXPageHandle held = TQDXPageHandle::Get(pm, 0, pageNo, true, ptTableRecord);
  held->Dirty = true;
  EXPECT_QDX_ERROR(pm.ApplyChanges(0), 20152, "Some session pages not released");
  EXPECT_EQ(ReadAll(), before);

  // A page read as freed (version 0x7FFFFFFF) cannot be written: its next version would
  // overflow.
  held->SetPageVersion(kFreedPageVersion);
  held.Release();
  EXPECT_QDX_ERROR(pm.ApplyChanges(0), 20280,
                   "Cannot write page " + std::to_string(pageNo) + ". Its PageVersion 2147483647");
  EXPECT_EQ(ReadAll(), before);
  pm.CancelChanges(0);
}

TEST_F(DiskPageManagerTest, MapPagesCannotBeFreedOrLent) {
  CreateDatabase();
  THeldDiskPageManager pm;
  Open(pm);
  for (int32_t pageNo : {0, 1}) {
    const std::string text = "Cannot delete PFS or EAM page. PageNo=" + std::to_string(pageNo);
    EXPECT_QDX_ERROR(pm.RemovePage(0, pageNo), 30434, text);
    EXPECT_QDX_ERROR(pm.GetPage(0, pageNo, true, kAnyPageType), 30434, text);
  }
  EXPECT_FALSE(pm.HasPendingChanges(0));
}

TEST_F(DiskPageManagerTest, RemovedAndCancelledPagesAreFreedOnDisk) {
  CreateDatabase();
  THeldDiskPageManager pm;
  Open(pm);
  const int32_t kept = AddTextPage(pm, "kept");
  const int32_t removed = AddTextPage(pm, "removed");
  pm.RemovePage(0, removed);
  pm.ApplyChanges(0);
  EXPECT_EQ(pm.ReadPageVersion(removed), kFreedPageVersion);
  EXPECT_FALSE(pm.FreeSpaceManager()->IsPageUsed(removed));
  EXPECT_TRUE(pm.FreeSpaceManager()->IsPageUsed(kept));

  // A page number beyond the file is refused before anything is written at its position.
  const int64_t size = FileSize();
  pm.RemovePage(0, 5000);
  EXPECT_QDX_ERROR(pm.ApplyChanges(0), 30430, "Page: 5000 cannot be addressed. TotalPageCount=");
  EXPECT_EQ(FileSize(), size);

  TQDXPageHandle page = TQDXPageHandle::Add(pm, 0, ptTableRecord);
  const int32_t cancelled = page->PageNo;
  EXPECT_EQ(cancelled, removed);  // the freed number is handed out again
  page.Release();
  pm.CancelChanges(0);
  EXPECT_FALSE(pm.FreeSpaceManager()->IsPageUsed(cancelled));
}

// A release the free-space maps would refuse fails the commit before its marker is written:
// the file stays as it was, without a repair question.
TEST_F(DiskPageManagerTest, BadReleasesAreRefusedBeforeTheCommitMarker) {
  CreateDatabase();
  THeldDiskPageManager pm;
  Open(pm);
  const int32_t freed = AddTextPage(pm, "freed");
  const int32_t kept = AddTextPage(pm, "kept");
  pm.RemovePage(0, freed);
  pm.ApplyChanges(0);
  struct Case {
    const char* name;
    std::vector<int32_t> released;
    int32_t code;
    std::string text;
  };
  const Case cases[] = {
      {"beyond the file", {5000}, 30430, "Page: 5000 cannot be addressed"},
      {"freed by an earlier commit", {freed}, 30427, "Page: " + std::to_string(freed) + " already free"},
      {"twice in one commit", {kept, kept}, 30427, "Page: " + std::to_string(kept) + " already free"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> before = ReadAll();
    for (int32_t pageNo : c.released) pm.RemovePage(0, pageNo);
    EXPECT_QDX_ERROR(pm.ApplyChanges(0), c.code, c.text);
    EXPECT_EQ(ReadAll(), before);
    pm.CancelChanges(0);
  }
  EXPECT_TRUE(pm.FreeSpaceManager()->IsPageUsed(kept));
  EXPECT_EQ(PageText(pm, kept, 4), "kept");
  pm.CloseDatabaseFile();
  THeldDiskPageManager reopened;
  EXPECT_FALSE(Open(reopened));
}

TEST_F(DiskPageManagerTest, PagePartsStayInsideTheirPage) {
  CreateDatabase();
  THeldDiskPageManager pm;
  Open(pm);
  pm.WritePagePart("abc", 3, 3, 4093);
  char back[3];
  pm.ReadPagePart(back, 3, 3, 4093);
  EXPECT_EQ(std::string(back, 3), "abc");
  EXPECT_EQ(Bytes(ReadAll(), PageOffset(3) + 4093, 3), (std::vector<uint8_t>{'a', 'b', 'c'}));
  EXPECT_QDX_ERROR(pm.WritePagePart("abcd", 3, 4, 4093), 10477,
                   "Error - invalid page offset = 4097, page size = 4096");
  EXPECT_QDX_ERROR(pm.ReadPagePart(back, 3, 2, 4095), 10476, "invalid page offset = 4097");
  EXPECT_QDX_ERROR(pm.ReadPagePart(back, -1, 1, 0), 10471, "Invalid PageNo = -1");
}

TEST_F(DiskPageManagerTest, NextObjectIDCountsInTheFile) {
  CreateDatabase();
  {
    THeldDiskPageManager pm;
    Open(pm);
    EXPECT_EQ(pm.GetNextObjectID(), 1);
    EXPECT_EQ(pm.GetNextObjectID(), 2);
    EXPECT_EQ(pm.GetNextObjectID(), 3);
  }
  EXPECT_EQ(le::Load<int32_t>(&ReadAll()[376]), 3);

  // Read-only: the stored value + 1 + a random 0..9999, nothing written.
  const std::vector<uint8_t> before = ReadAll();
  THeldDiskPageManager pm;
  Open(pm, {}, /*multiUser=*/false, /*readOnly=*/true);
  EXPECT_TRUE(pm.ReadOnly());
  for (int i = 0; i < 20; ++i) {
    const int32_t id = pm.GetNextObjectID();
    EXPECT_GE(id, 4);
    EXPECT_LE(id, 4 + 9999);
  }
  EXPECT_EQ(ReadAll(), before);

  THeldDiskPageManager closed;
  EXPECT_QDX_ERROR(closed.GetNextObjectID(), 30399, "Error - database file is not opened.");
}

TEST_F(DiskPageManagerTest, FileWithoutWriteAccessOpensReadOnlySingleUser) {
  CreateDatabase();
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  const auto openAndCheck = [&] {
    THeldDiskPageManager pm;
    Quick(pm);
    bool multiUser = true;
    bool repair = false;
    bool readOnly = false;
    pm.OpenDatabaseFile(path, {}, multiUser, false, repair, readOnly);
    return readOnly && !multiUser && !pm.MultiUser;
  };
  if (::geteuid() != 0) {
    EXPECT_TRUE(openAndCheck());
    return;
  }
  // Root may write to any file, so the open runs in a child that has become an unprivileged user.
  ASSERT_EQ(::chmod(std::filesystem::path(path).parent_path().c_str(), 0755), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int status = 2;
    if (::setgid(65534) == 0 && ::setuid(65534) == 0) {
      try {
        status = openAndCheck() ? 0 : 1;
      } catch (...) {
        status = 3;
      }
    }
    ::_exit(status);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "1: not read-only single-user, 2: cannot drop root, 3: error";
}

TEST_F(DiskPageManagerTest, LocksExcludeOtherHandles) {
  CreateDatabase();
  THeldDiskPageManager a;
  THeldDiskPageManager b;
  Open(a, {}, /*multiUser=*/true);
  Open(b, {}, /*multiUser=*/true);

  ASSERT_TRUE(a.LockDatabase());
  ASSERT_TRUE(a.LockDatabase());  // nested
  EXPECT_FALSE(b.LockDatabase());
  EXPECT_QDX_ERROR(b.GetPageCount(), 20236, "Database is locked");
  EXPECT_QDX_ERROR(TQDXPageHandle::Add(b, 0, ptTableRecord), 20231, "Database is locked");
  a.UnlockDatabase();
  EXPECT_FALSE(b.LockDatabase());
  a.UnlockDatabase();
  EXPECT_EQ(a.DatabaseLockDepth(), 0);
  ASSERT_TRUE(b.LockDatabase());
  {
    TQDXPageHandle page = TQDXPageHandle::Get(a, 0, 3, true, kAnyPageType);
    page->Dirty = true;
  }
  EXPECT_QDX_ERROR(a.ApplyChanges(0), 20213, "Database is locked");
  b.UnlockDatabase();
  EXPECT_NO_THROW(a.ApplyChanges(0));
  EXPECT_EQ(b.GetPageCount(), 6);

  ASSERT_TRUE(a.LockNextObjectID());
  EXPECT_QDX_ERROR(b.GetNextObjectID(), 30401, "Cannot get NextObjectID. File area is Locked.");
  a.UnlockNextObjectID();
  EXPECT_EQ(b.GetNextObjectID(), 1);

  ASSERT_TRUE(a.LockTables());
  EXPECT_FALSE(b.LockTables());
  a.UnlockTables();
  ASSERT_TRUE(a.LockPageByte(3, 0));
  EXPECT_TRUE(b.IsPageByteLocked(3, 0));
  EXPECT_TRUE(b.IsPageRegionLocked(3, 0, 10));
  EXPECT_FALSE(b.IsPageRegionLocked(3, 1, 10));
  a.UnlockPageByte(3, 0);
  EXPECT_FALSE(b.IsPageByteLocked(3, 0));
}

class TableData {};  // only its address is used

TEST_F(DiskPageManagerTest, StalePagesAreReadAgainOutsideTheTableLockEpoch) {
  CreateDatabase();
  THeldDiskPageManager a;
  THeldDiskPageManager b;
  Open(a, {}, /*multiUser=*/true);
  Open(b, {}, /*multiUser=*/true);
  const int32_t pageNo = AddTextPage(a, "first");
  EXPECT_EQ(PageText(b, pageNo, 5), "first");

  // Without a table version every synchronised GetPage compares the stored PageVersion.
  AddTextPage(a, "xxxxx");  // another page, so that a's next change is a new version
  {
    TQDXPageHandle page = TQDXPageHandle::Get(a, 0, pageNo, true, ptTableRecord);
    std::memcpy(page->Data(), "secnd", 5);
    page->Dirty = true;
  }
  a.ApplyChanges(0);
  EXPECT_EQ(PageText(b, pageNo, 5, 0, /*synchronize=*/false), "first");
  EXPECT_EQ(PageText(b, pageNo, 5), "secnd");

  // Inside a lock epoch with a table version the validated page is used as it is.
  const auto* table = reinterpret_cast<const TQDXTableData*>(new TableData);
  TQDXDiskTablePagesCacheManager& cache = b.TablePagesCache();
  cache.PushTable(0, table);
  cache.TableLocked(0, table, TQDXTableLockUse::Read);
  cache.SetVersion(0, table, 41);
  EXPECT_EQ(PageText(b, pageNo, 5), "secnd");  // validates the page for version 41
  {
    TQDXPageHandle page = TQDXPageHandle::Get(a, 0, pageNo, true, ptTableRecord);
    std::memcpy(page->Data(), "third", 5);
    page->Dirty = true;
  }
  a.ApplyChanges(0);
  EXPECT_EQ(PageText(b, pageNo, 5), "secnd");

  // A new epoch forgets the version: the page is checked and read again.
  cache.TableUnlocked(0, table, TQDXTableLockUse::Read);
  cache.TableLocked(0, table, TQDXTableLockUse::Read);
  EXPECT_FALSE(cache.HasVersion(0, table));
  EXPECT_EQ(PageText(b, pageNo, 5), "third");
  cache.TableUnlocked(0, table, TQDXTableLockUse::Read);
  cache.PopTable(0);
  delete reinterpret_cast<const TableData*>(table);
}

TEST_F(DiskPageManagerTest, TruncateFreeTailCutsTheFreePagesAtTheEnd) {
  CreateDatabase();
  THeldDiskPageManager pm;
  Open(pm);
  std::vector<int32_t> pages;
  for (int i = 0; i < 12; ++i) pages.push_back(AddTextPage(pm, "p"));
  for (int i = 0; i < 2; ++i) {
    pm.RemovePage(0, pages.back());
    pages.pop_back();
  }
  pm.ApplyChanges(0);
  const int32_t total = pm.GetPageCount();
  ASSERT_GT(total - 1, pages.back());  // a free tail shorter than the growth step
  pm.TruncateFreeTail();
  EXPECT_EQ(pm.GetPageCount(), pages.back() + 1);
  EXPECT_EQ(FileSize(), 380 + (pages.back() + 1) * kPage);
  pm.TruncateFreeTail();
  EXPECT_EQ(pm.GetPageCount(), pages.back() + 1);
  EXPECT_EQ(PageText(pm, pages.back(), 1), "p");
}

// In design-time mode the file is open only during each operation.
class DesignTimeMode {
 public:
  DesignTimeMode() { SetQDXDesignTimeMode(true); }
  ~DesignTimeMode() { SetQDXDesignTimeMode(false); }
};

TEST_F(DiskPageManagerTest, DesignTimeModeKeepsTheFileClosedBetweenOperations) {
  DesignTimeMode designTime;
  CreateDatabase();
  THeldDiskPageManager pm;
  Open(pm);
  EXPECT_TRUE(pm.IsOpen());
  EXPECT_FALSE(pm.File().IsOpen());
  const int32_t pageNo = AddTextPage(pm, "designer");
  EXPECT_FALSE(pm.File().IsOpen());
  EXPECT_EQ(pm.GetNextObjectID(), 1);
  EXPECT_EQ(pm.GetPageCount(), 6);
  EXPECT_EQ(Bytes(ReadAll(), PageOffset(pageNo) + 40, 8),
            (std::vector<uint8_t>{'d', 'e', 's', 'i', 'g', 'n', 'e', 'r'}));

  // Another program left the file in the middle of a commit after this one read the header.
  std::vector<uint8_t> counter(4);
  le::Store(counter.data(), int32_t{99});
  Patch(38, counter);
  Patch(42, {kFileStateWriting});
  {
    TQDXPageHandle page = TQDXPageHandle::Get(pm, 0, pageNo, false, ptTableRecord);
    page->Dirty = true;
  }
  pm.Header().ChangeCounter = 5;
  EXPECT_QDX_ERROR(pm.WriteHeader(true), 20196,
                   "Cannot write changes. Database file was modified by external application");
  EXPECT_NO_THROW(pm.WriteHeader(false));
  pm.CancelChanges(0);
  pm.CloseDatabaseFile();
}

TEST_F(DiskPageManagerTest, CreateAndOpenNeedAClosedManager) {
  CreateDatabase();
  THeldDiskPageManager pm;
  Open(pm);
  EXPECT_QDX_ERROR(pm.CreateDatabaseFile(path, {}), 10461, "is in use.");
  EXPECT_QDX_ERROR(Open(pm), 10462, "Error - database file " + path + " is in use.");
  pm.CloseDatabaseFile();
  EXPECT_QDX_ERROR(pm.ReadHeader(), 10459, "Error - database file is not opened.");
  EXPECT_QDX_ERROR(pm.WriteHeader(true), 10460, "not opened");
  EXPECT_QDX_ERROR(pm.CreateDatabaseFile(path, {}, 8, 40), 30470, "at least 82 bytes");
  EXPECT_QDX_ERROR(pm.CreateDatabaseFile(path, {}, 0, 4096), 20237, "Invalid database format");
}

}  // namespace
}  // namespace qdx
