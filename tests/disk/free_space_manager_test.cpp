#include "engine/disk/free_space_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/core/page.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/platform/file_system.h"
#include "tests/disk/disk_test_support.h"
#include "tests/fault_file_system.h"

namespace qdx {

class TQDXFreeSpaceManagerProbe {
 public:
  // As an allocation does, with the header's counts read first.
  static void MarkPage(TQDXDatabaseFreeSpaceManager& fsm, int32_t pageNo, bool used) {
    fsm.LoadWorkingCopies();
    fsm.MarkPage(pageNo, used);
  }
};

namespace {

using testing::TempDirTest;
using testing::THeldDiskPageManager;

constexpr int64_t kPage = 4096;
constexpr int32_t kPagesPerPfs = 32448;

class FreeSpaceManagerTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    pm.SetLockRetry(3, 1);
    // Shared with other processes, the maps and the header change in the file at once, which is
    // what most cases here look at; the single-user manager holds them (HeldMaps below).
    pm.MultiUser = true;
    pm.CreateDatabaseFile(path, {});
  }

  TQDXDatabaseFreeSpaceManager& Fsm() { return *pm.FreeSpaceManager(); }

  TQDXDatabaseHeader StoredHeader() const { return TQDXDatabaseHeader::Decode(ReadAt(0, 76)); }
  std::vector<uint8_t> StoredData(int32_t pageNo) const {
    return ReadAt(380 + pageNo * kPage, kPage);
  }

  // Writes a map page of `type` whose data area starts with `data`.
  void WriteMapPage(int32_t pageNo, uint16_t type, const std::vector<uint8_t>& data) {
    TQDXPage page(pm, pageNo);
    page.AllocateBuffer();
    page.SetPageType(type);
    std::copy(data.begin(), data.end(), page.Data());
    pm.InternalWritePage(page);
  }

  // A file of `total` pages (at most one PFS page) whose pages 0..`lastUsed` are in use, with
  // both maps to match.
  void MakeFile(int32_t total, int32_t lastUsed) {
    pm.GrowFile(total);
    std::vector<uint8_t> pfs((lastUsed + 8) / 8, 0);
    for (int32_t n = 0; n <= lastUsed; ++n) pfs[n / 8] |= static_cast<uint8_t>(1 << (n % 8));
    WriteMapPage(0, ptPFS, pfs);
    std::vector<uint8_t> eam((total / 8 + 3) / 4 + 1, 0);
    for (int32_t e = 0; e * 8 < total; ++e) {
      const uint8_t entry = (e + 1) * 8 - 1 <= lastUsed ? 3 : 1;
      eam[e / 4] |= static_cast<uint8_t>(entry << (2 * (e % 4)));
    }
    WriteMapPage(1, ptEAM, eam);
    pm.Header().LastUsedPageNo = lastUsed;
    pm.WriteHeader(true);
  }

  THeldDiskPageManager pm;
};

TEST_F(FreeSpaceManagerTest, FirstAllocationGrowsANewFileBySixPages) {
  EXPECT_EQ(FileSize(), 380);
  EXPECT_EQ(Fsm().AllocatePage(), 2);
  EXPECT_EQ(FileSize(), 380 + 6 * kPage);
  const TQDXDatabaseHeader header = StoredHeader();
  EXPECT_EQ(header.TotalPageCount, 6);
  EXPECT_EQ(header.LastUsedPageNo, 2);
  const std::vector<uint8_t> pfs = StoredData(0);
  EXPECT_EQ(le::Load<uint16_t>(&pfs[8]), ptPFS);
  EXPECT_EQ(pfs[40], 0x07);  // the PFS page, the EAM page and page 2
  const std::vector<uint8_t> eam = StoredData(1);
  EXPECT_EQ(le::Load<uint16_t>(&eam[8]), ptEAM);
  EXPECT_EQ(eam[40], 0x01);
  EXPECT_EQ(Fsm().AllocatePage(), 3);
  EXPECT_EQ(Fsm().AllocatePage(), 4);
  EXPECT_EQ(Fsm().AllocatePage(), 5);
  // The next growth step: a tenth of the file, but at least one extent.
  EXPECT_EQ(Fsm().AllocatePage(), 6);
  EXPECT_EQ(StoredHeader().TotalPageCount, 14);
  EXPECT_EQ(StoredData(0)[40], 0x7F);
  // Extent 0 has a free page; nothing is known yet of extent 1, which the growth added.
  EXPECT_EQ(StoredData(1)[40], 0x01);
}

TEST_F(FreeSpaceManagerTest, FreeingShrinksOnlyByWholeGrowthSteps) {
  struct Case {
    int32_t unusedTail;
    int32_t totalAfter;
  };
  for (const Case& c : {Case{9, 100}, Case{10, 90}, Case{15, 90}, Case{20, 80}}) {
    pm.CloseDatabaseFile();
    pm.CreateDatabaseFile(path, {});
    // Pages up to 100 - tail in use; freeing the last of them leaves `tail` unused pages.
    const int32_t last = 100 - c.unusedTail;
    MakeFile(100, last);
    Fsm().FreePage(last);
    EXPECT_EQ(StoredHeader().TotalPageCount, c.totalAfter) << c.unusedTail;
    EXPECT_EQ(StoredHeader().LastUsedPageNo, last - 1);
    EXPECT_EQ(FileSize(), 380 + c.totalAfter * kPage);
  }
}

TEST_F(FreeSpaceManagerTest, LastUsedPageSkipsFreePagesAndMapPages) {
  MakeFile(30, 20);
  Fsm().FreePage(15);
  EXPECT_EQ(StoredHeader().LastUsedPageNo, 20);
  for (int32_t n = 20; n >= 2; --n) {
    if (n != 15) Fsm().FreePage(n);
  }
  // Only the two map pages are left: no page is in use.
  EXPECT_EQ(StoredHeader().LastUsedPageNo, -1);
  EXPECT_EQ(StoredHeader().TotalPageCount, 30 - 24);
}

TEST_F(FreeSpaceManagerTest, MarkingTwiceFailsNamingThePage) {
  MakeFile(20, 15);
  Fsm().FreePage(7);
  EXPECT_QDX_ERROR(Fsm().FreePage(7), 30427, "Page: 7 already free");
  EXPECT_QDX_ERROR(Fsm().FreePage(25), 30430, "Page: 25 cannot be addressed. TotalPageCount=20");
  EXPECT_EQ(Fsm().AllocatePage(), 7);
  for (int32_t n = 16; n < 20; ++n) EXPECT_EQ(Fsm().AllocatePage(), n);

  // A header that says less than the maps, as an allocation that failed (or died) after
  // marking its page and before writing the header leaves it: the file is full, and growth
  // skips the marked pages after LastUsedPageNo instead of handing one out twice.
  pm.Header().LastUsedPageNo = 5;
  pm.WriteHeader(true);
  const int32_t grown = Fsm().AllocatePage();
  EXPECT_GE(grown, 20);
  pm.ReadHeader();
  EXPECT_EQ(pm.Header().LastUsedPageNo, grown);
  EXPECT_TRUE(pm.LockDatabase());
  pm.UnlockDatabase();
  EXPECT_EQ(pm.DatabaseLockDepth(), 0);
}

// Marking a page used whose bit is already set names the page and changes neither map.
TEST_F(FreeSpaceManagerTest, MarkingAUsedPageUsedAgainFails) {
  MakeFile(20, 15);
  const std::vector<uint8_t> pfs = StoredData(0);
  const std::vector<uint8_t> eam = StoredData(1);
  for (const int32_t pageNo : {2, 9, 15}) {
    EXPECT_QDX_ERROR(TQDXFreeSpaceManagerProbe::MarkPage(Fsm(), pageNo, true), 30425,
                     "Page: " + std::to_string(pageNo) + " already used");
  }
  EXPECT_EQ(StoredData(0), pfs);
  EXPECT_EQ(StoredData(1), eam);
}

TEST_F(FreeSpaceManagerTest, MapPagesOfAnotherTypeAreRefused) {
  MakeFile(20, 9);
  WriteMapPage(1, ptTableRecord, {});
  EXPECT_QDX_ERROR(Fsm().AllocatePage(), 30423,
                   "Wrong page type. Found 'TableRecord Page', but expecting: 'EAM Page'");
  WriteMapPage(1, ptEAM, {0x01});
  WriteMapPage(0, ptEAM, {});
  EXPECT_QDX_ERROR(Fsm().FreePage(5), 30424,
                   "Wrong page type. Found 'EAM Page', but expecting: 'PFS Page'");
  EXPECT_EQ(pm.DatabaseLockDepth(), 0);
}

// A failure on the way (here a damaged EAM page; running out of memory is the other) must come
// before the page's bit is written, or the two maps disagree for good.
TEST_F(FreeSpaceManagerTest, AFailedMarkWritesNeitherMap) {
  MakeFile(20, 15);
  const std::vector<uint8_t> pfsBefore = StoredData(0);
  WriteMapPage(1, ptTableRecord, {});
  EXPECT_QDX_ERROR(Fsm().FreePage(7), msg::kUpdateExtentEamType, "expecting: 'EAM Page'");
  EXPECT_EQ(StoredData(0), pfsBefore);
  EXPECT_TRUE(Fsm().IsPageUsed(7));
}

TEST_F(FreeSpaceManagerTest, SystemPages) {
  for (int32_t n : {0, 1, kPagesPerPfs, 2 * kPagesPerPfs, 129792, 129793, 259585}) {
    EXPECT_TRUE(Fsm().IsSystemPage(n)) << n;
    EXPECT_QDX_ERROR(Fsm().CheckNotSystemPage(n), 30434,
                     "Cannot delete PFS or EAM page. PageNo=" + std::to_string(n));
  }
  for (int32_t n : {2, kPagesPerPfs + 1, 129794, 259586}) EXPECT_FALSE(Fsm().IsSystemPage(n)) << n;
}

TEST_F(FreeSpaceManagerTest, GrowsPastAFullPfsPageWithANewPfsPage) {
  // 32448 pages, all in use: PFS page 0 full, every extent of EAM page 1 full.
  pm.GrowFile(kPagesPerPfs);
  WriteMapPage(0, ptPFS, std::vector<uint8_t>(kPagesPerPfs / 8, 0xFF));
  WriteMapPage(1, ptEAM, std::vector<uint8_t>(kPagesPerPfs / 8 / 4, 0xFF));
  pm.Header().LastUsedPageNo = kPagesPerPfs - 1;
  pm.WriteHeader(true);

  EXPECT_EQ(Fsm().AllocatePage(), kPagesPerPfs + 1);
  const TQDXDatabaseHeader header = StoredHeader();
  EXPECT_EQ(header.TotalPageCount, kPagesPerPfs + kPagesPerPfs / 10);
  EXPECT_EQ(header.LastUsedPageNo, kPagesPerPfs + 1);
  EXPECT_EQ(FileSize(), 380 + int64_t{header.TotalPageCount} * kPage);
  const std::vector<uint8_t> pfs = StoredData(kPagesPerPfs);
  EXPECT_EQ(le::Load<uint16_t>(&pfs[8]), ptPFS);
  EXPECT_EQ(pfs[40], 0x03);  // itself and the page handed out
  EXPECT_EQ(Fsm().AllocatePage(), kPagesPerPfs + 2);
}

TEST_F(FreeSpaceManagerTest, ManagersOfTwoHandlesShareTheMaps) {
  Fsm().AllocatePage();
  THeldDiskPageManager other;
  other.SetLockRetry(3, 1);
  bool multiUser = true;
  bool repair = false;
  bool readOnly = false;
  other.OpenDatabaseFile(path, {}, multiUser, false, repair, readOnly);
  std::set<int32_t> handedOut = {2};
  for (int i = 0; i < 40; ++i) {
    TQDXDatabaseFreeSpaceManager& fsm = i % 2 ? Fsm() : *other.FreeSpaceManager();
    EXPECT_TRUE(handedOut.insert(fsm.AllocatePage()).second);
  }
  EXPECT_EQ(*handedOut.rbegin(), 42);
}

// Random allocations and releases against a model: the maps, the header and the file size
// always agree with it.
TEST_F(FreeSpaceManagerTest, RandomAllocationsKeepMapsHeaderAndFileConsistent) {
  std::mt19937 random(7);
  std::set<int32_t> used;
  for (int step = 0; step < 1500; ++step) {
    const bool allocate = used.empty() || random() % 100 < 60;
    if (allocate) {
      const int32_t pageNo = Fsm().AllocatePage();
      ASSERT_FALSE(Fsm().IsSystemPage(pageNo));
      ASSERT_TRUE(used.insert(pageNo).second) << "page handed out twice: " << pageNo;
    } else {
      auto it = used.begin();
      std::advance(it, random() % used.size());
      Fsm().FreePage(*it);
      used.erase(it);
    }
    const TQDXDatabaseHeader header = StoredHeader();
    const int32_t lastUsed = used.empty() ? -1 : *used.rbegin();
    ASSERT_EQ(header.LastUsedPageNo, lastUsed) << step;
    ASSERT_GT(header.TotalPageCount, lastUsed);
    ASSERT_EQ(FileSize(), 380 + int64_t{header.TotalPageCount} * kPage);
  }
  const TQDXDatabaseHeader header = StoredHeader();
  const std::vector<uint8_t> pfs = StoredData(0);
  const std::vector<uint8_t> eam = StoredData(1);
  for (int32_t n = 0; n < header.TotalPageCount; ++n) {
    const bool bit = (pfs[40 + n / 8] >> (n % 8)) & 1;
    EXPECT_EQ(bit, used.count(n) > 0 || Fsm().IsSystemPage(n)) << n;
  }
  for (int32_t e = 0; (e + 1) * 8 <= header.TotalPageCount; ++e) {
    bool full = true;
    for (int32_t n = e * 8; n < e * 8 + 8; ++n) full &= used.count(n) > 0 || Fsm().IsSystemPage(n);
    const int entry = (eam[40 + e / 4] >> (2 * (e % 4))) & 3;
    EXPECT_EQ(entry == 3, full) << "extent " << e;
  }
}

// Where no other process shares the file the maps and the page counts are held in memory:
// allocations and releases leave the file's header, maps and pages as they were, and reach it
// only with the next commit, together with the pages they describe. A cancelled session gives
// its pages back in memory.
TEST_F(FreeSpaceManagerTest, HeldMapsReachTheFileOnlyWithACommit) {
  pm.CloseDatabaseFile();
  pm.MultiUser = false;
  pm.CreateDatabaseFile(path, {});
  ASSERT_TRUE(Fsm().HoldsMaps());
  constexpr int32_t kSession = 1;
  const auto addPages = [&](int count) {
    for (int i = 0; i < count; ++i) pm.PutPage(pm.AddPage(kSession, ptTableRecord));
  };
  addPages(3);
  pm.CommitChanges(kSession, /*durable=*/true);
  const std::vector<uint8_t> committed = ReadAll();
  EXPECT_EQ(StoredHeader().LastUsedPageNo, 4);
  EXPECT_EQ(StoredData(0)[40], 0x1F);

  addPages(10);  // grows the file twice
  const std::vector<uint8_t> pending = ReadAt(0, static_cast<int64_t>(committed.size()));
  EXPECT_EQ(pending, committed);
  pm.CancelChanges(kSession);
  EXPECT_EQ(ReadAt(0, static_cast<int64_t>(committed.size())), committed);
  EXPECT_FALSE(Fsm().IsPageUsed(5));

  addPages(10);
  EXPECT_EQ(ReadAt(0, static_cast<int64_t>(committed.size())), committed);
  pm.CommitChanges(kSession, /*durable=*/true);
  const TQDXDatabaseHeader header = StoredHeader();
  EXPECT_EQ(header.LastUsedPageNo, 14);
  EXPECT_EQ(FileSize(), 380 + int64_t{header.TotalPageCount} * kPage);
  const std::vector<uint8_t> pfs = StoredData(0);
  EXPECT_EQ(le::Load<uint16_t>(&pfs[40]), 0x7FFF);  // pages 0..14
  // Another handle, opened after the commit, sees every page of it in use.
  pm.CloseDatabaseFile();
  THeldDiskPageManager other;
  bool multiUser = false, repair = false, readOnly = false;
  other.OpenDatabaseFile(path, {}, multiUser, false, repair, readOnly);
  EXPECT_FALSE(repair);
  for (int32_t n = 0; n <= 14; ++n) EXPECT_TRUE(other.FreeSpaceManager()->IsPageUsed(n)) << n;
  EXPECT_FALSE(other.FreeSpaceManager()->IsPageUsed(15));
}

// In multi-user mode the maps and the header change in the file at every call, unflushed. A
// power cut at any write of a run of allocations and releases (growing the file, filling
// extents, emptying them again, shrinking the file) keeps any part of the writes since the last
// flush. What is left may lose space (a page marked used that nobody owns) but never claims
// more than the disk holds: no extent is marked full over a free page, the header counts no
// page past the file's end and no LastUsedPageNo past its count.
TEST_F(FreeSpaceManagerTest, APowerCutAtAnyMapWriteLeavesMapsTheChecksAccept) {
  // The header and the PFS bits of the first 736 pages share the file's first sector, where a
  // cut keeps or loses them together: the run works past them.
  constexpr int32_t kPagesBefore = 760;
  for (int32_t i = 0; i < kPagesBefore; ++i) Fsm().AllocatePage();
  pm.CloseDatabaseFile();
  const std::vector<uint8_t> start = ReadAll();
  int32_t grownTo = 0;
  const auto script = [&] {
    THeldDiskPageManager shared;
    shared.SetLockRetry(3, 1);
    bool multiUser = true;
    bool repair = false;
    bool readOnly = false;
    shared.OpenDatabaseFile(path, {}, multiUser, false, repair, readOnly);
    TQDXDatabaseFreeSpaceManager& fsm = *shared.FreeSpaceManager();
    std::vector<int32_t> pages;
    for (int i = 0; i < 100; ++i) pages.push_back(fsm.AllocatePage());
    grownTo = fsm.TotalPageCount();
    for (size_t i = 0; i < pages.size(); i += 3) fsm.FreePage(pages[i]);
    for (size_t i = pages.size() - 1; i >= 12; --i) {
      if (i % 3 != 0) fsm.FreePage(pages[i]);
    }
  };
  testing::PowerCutFileSystem counter(1);
  {
    platform::FileSystemScope scope(counter);
    script();
  }
  ASSERT_LT(StoredHeader().TotalPageCount, grownTo) << "the script does not shrink the file";
  const int64_t writes = counter.Writes();
  const auto expectSound = [&](const std::string& at) {
    const TQDXDatabaseHeader header = StoredHeader();
    const int64_t pagesInFile = (FileSize() - 380) / kPage;
    EXPECT_LE(header.TotalPageCount, pagesInFile) << at;
    EXPECT_LT(header.LastUsedPageNo, header.TotalPageCount) << at;
    if (header.TotalPageCount < 2) return;
    const std::vector<uint8_t> pfs = StoredData(0);
    const std::vector<uint8_t> eam = StoredData(1);
    for (int32_t e = 0; e * 8 < header.TotalPageCount; ++e) {
      if (((eam[40 + e / 4] >> (2 * (e % 4))) & 3) != 3) continue;
      for (int32_t n = e * 8; n < std::min(e * 8 + 8, header.TotalPageCount); ++n) {
        EXPECT_TRUE((pfs[40 + n / 8] >> (n % 8)) & 1)
            << at << ": extent " << e << " is marked full but page " << n << " is free";
      }
    }
  };
  for (int64_t n = 1; n <= writes; ++n) {
    for (uint64_t seed = 1; seed <= 3; ++seed) {
      WriteAll(start);
      testing::PowerCutFileSystem power(seed * 7919 + static_cast<uint64_t>(n));
      power.CutAfterWrites(n);
      {
        platform::FileSystemScope scope(power);
        try {
          script();
        } catch (const EQDXException&) {  // the power went
        }
      }
      ASSERT_TRUE(power.PowerCut()) << "write " << n;
      power.Settle();
      expectSound("cut at write " + std::to_string(n) + ", seed " + std::to_string(seed));
      if (HasFailure()) return;
    }
  }
}

}  // namespace
}  // namespace qdx
