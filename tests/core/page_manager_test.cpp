#include "engine/core/page_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/core/page_handle.h"
#include "engine/foundation/except.h"
#include "engine/foundation/memory.h"
#include "tests/core/memory_page_manager.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::TMemoryPageManager;

constexpr bool kSync = true;

class PageManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pm.SetCacheLimit(TQDXPageManager::kMaxCacheLimit);
    for (int32_t n = 0; n < 8; ++n) pm.Store(n, ptTableRecord, static_cast<uint8_t>(0x10 + n));
  }

  // Gets and returns a page, as a reader does.
  void Touch(int32_t session, int32_t pageNo) {
    pm.PutPage(pm.GetPage(session, pageNo, kSync, ptTableRecord));
  }
  // Changes the first data byte of a page in the session and returns it.
  void Change(int32_t session, int32_t pageNo, uint8_t mark) {
    TQDXPage* page = pm.GetPage(session, pageNo, kSync, ptTableRecord);
    page->Data()[0] = mark;
    page->Dirty = true;
    pm.PutPage(page);
  }
  uint8_t Mark(int32_t session, int32_t pageNo) {
    TQDXPageHandle page = TQDXPageHandle::Get(pm, session, pageNo, kSync, ptTableRecord);
    return page->Data()[0];
  }

  TMemoryPageManager pm;
};

TEST_F(PageManagerTest, PageIsLentToOneSessionAtATime) {
  TQDXPage* held = pm.GetPage(3, 5, kSync, ptTableRecord);
  EXPECT_QDX_ERROR(pm.GetPage(4, 5, kSync, ptTableRecord), 20090, "Page is used by other session");
  // The holding session may take it again; each take needs its own PutPage.
  TQDXPage* again = pm.GetPage(3, 5, kSync, ptTableRecord);
  EXPECT_EQ(again, held);
  EXPECT_EQ(held->UseCount, 2);
  pm.PutPage(again);
  EXPECT_QDX_ERROR(pm.GetPage(4, 5, kSync, ptTableRecord), 20090, "used by other session");
  pm.PutPage(held);

  TQDXPage* other = pm.GetPage(4, 5, kSync, ptTableRecord);
  EXPECT_EQ(other, held);  // the same cached object, now lent to session 4
  EXPECT_EQ(other->SessionID, 4);
  pm.PutPage(other);
  EXPECT_EQ(pm.reads, 1);
}

TEST_F(PageManagerTest, ChangesAreInvisibleToOtherSessionsUntilCommit) {
  Change(3, 5, 0xAA);
  EXPECT_EQ(Mark(3, 5), 0xAA);
  EXPECT_EQ(Mark(4, 5), 0x15);  // session 4 reads the stored content into its own object
  EXPECT_EQ(pm.StoredMark(5), 0x15);

  pm.ApplyChanges(3);
  EXPECT_THAT(pm.written, ElementsAre(5));
  EXPECT_EQ(pm.StoredMark(5), 0xAA);
  // The committed page replaced session 4's unused copy in the cache.
  const int readsBefore = pm.reads;
  EXPECT_EQ(Mark(4, 5), 0xAA);
  EXPECT_EQ(pm.reads, readsBefore);
  EXPECT_EQ(pm.SharedList().Count(), 1);
}

TEST_F(PageManagerTest, CommitReplacesACopyHeldByAnotherSessionWithoutServingItAgain) {
  Change(3, 5, 0xAA);
  TQDXPage* stale = pm.GetPage(4, 5, kSync, ptTableRecord);
  pm.ApplyChanges(3);
  EXPECT_EQ(stale->Data()[0], 0x15);  // the holder's object is left alone while held
  pm.PutPage(stale);                  // and destroyed now (ASan checks it is not reused)
  EXPECT_EQ(Mark(4, 5), 0xAA);
  EXPECT_EQ(pm.SharedList().Count(), 1);
}

TEST_F(PageManagerTest, ChangeToASupersededCopyIsKeptForItsSession) {
  Change(3, 5, 0xAA);
  TQDXPage* stale = pm.GetPage(4, 5, kSync, ptTableRecord);
  pm.ApplyChanges(3);
  stale->Data()[0] = 0xBB;
  stale->Dirty = true;
  pm.PutPage(stale);
  EXPECT_EQ(Mark(4, 5), 0xBB);
  EXPECT_EQ(Mark(3, 5), 0xAA);
  pm.ApplyChanges(4);
  EXPECT_EQ(pm.StoredMark(5), 0xBB);
}

TEST_F(PageManagerTest, CommitRefusesHeldPagesBeforeWritingAnything) {
  pm.RemovePage(3, 6);
  Change(3, 1, 0xA1);
  TQDXPage* held = pm.GetPage(3, 2, kSync, ptTableRecord);
  EXPECT_QDX_ERROR(pm.ApplyChanges(3), 20152, "Some session pages not released");
  pm.PutPage(held);

  TQDXPage* added = pm.AddPage(3, ptTableRecord);  // held in the dirty list
  EXPECT_QDX_ERROR(pm.ApplyChanges(3), 20086, "Cannot write used page");
  EXPECT_TRUE(pm.written.empty());
  EXPECT_TRUE(pm.removed.empty());
  EXPECT_EQ(pm.StoredMark(1), 0x11);

  pm.PutPage(added);
  pm.ApplyChanges(3);
  EXPECT_THAT(pm.removed, ElementsAre(6));
  EXPECT_THAT(pm.written, ElementsAre(1, 8));  // in page-number order
  EXPECT_EQ(pm.DirtyList(3)->Count(), 0);
}

TEST_F(PageManagerTest, FailedWriteLeavesTheUnwrittenPagesForRollback) {
  Change(3, 1, 0xA1);
  Change(3, 2, 0xA2);
  Change(3, 4, 0xA4);
  pm.failWriteOf = 2;
  EXPECT_QDX_ERROR(pm.ApplyChanges(3), 10469, "write failed");
  EXPECT_THAT(pm.written, ElementsAre(1));
  EXPECT_EQ(pm.DirtyList(3)->Count(), 2);
  pm.CancelChanges(3);
  EXPECT_EQ(Mark(3, 1), 0xA1);
  EXPECT_EQ(Mark(3, 2), 0x12);
  EXPECT_EQ(Mark(3, 4), 0x14);
}

TEST_F(PageManagerTest, ACleanPageInTheDirtyListStopsCommitAndRollback) {
  pm.RemovePage(3, 6);
  Change(3, 1, 0xA1);
  Change(3, 2, 0xA2);
  TQDXPage* page = pm.GetPage(3, 2, kSync, ptTableRecord);  // from the session's dirty list
  page->Dirty = false;                                      // a user breaking the contract
  pm.PutPage(page);
  EXPECT_QDX_ERROR(pm.ApplyChanges(3), 20085, "Invalid page");
  EXPECT_QDX_ERROR(pm.CancelChanges(3), 20087, "Invalid index page");
  EXPECT_TRUE(pm.written.empty());
  EXPECT_TRUE(pm.removed.empty());
  EXPECT_EQ(pm.DirtyList(3)->Count(), 2);
}

TEST_F(PageManagerTest, RollbackDropsChangesAndGivesBackNewPages) {
  Change(3, 5, 0xAA);
  TQDXPage* added = pm.AddPage(3, ptTableIndex);
  const int32_t newPageNo = added->PageNo;
  EXPECT_QDX_ERROR(pm.CancelChanges(3), 20088, "Cannot remove used page");
  pm.PutPage(added);

  pm.CancelChanges(3);
  EXPECT_THAT(pm.removed, ElementsAre(newPageNo));
  EXPECT_EQ(pm.DirtyList(3)->Count(), 0);
  EXPECT_EQ(Mark(3, 5), 0x15);
  pm.ApplyChanges(3);
  EXPECT_TRUE(pm.written.empty());
}

TEST_F(PageManagerTest, RemovedPagesAreFreedAtCommitOnly) {
  Touch(4, 6);
  pm.RemovePage(3, 6);
  EXPECT_EQ(Mark(3, 6), 0x16);
  pm.ApplyChanges(3);
  EXPECT_THAT(pm.removed, ElementsAre(6));
  EXPECT_EQ(pm.SharedList().Find(6), nullptr);
  EXPECT_QDX_ERROR(pm.GetPage(4, 6, kSync, ptTableRecord), 20299,
                   "Error reading database file page. Page No: 6, type 10");
}

TEST_F(PageManagerTest, AddPageWritesTypeAndRandomVersion) {
  TQDXPageHandle page = TQDXPageHandle::Add(pm, 3, ptTableBlob);
  EXPECT_EQ(page->PageNo, 8);
  EXPECT_EQ(page->PageType(), ptTableBlob);
  EXPECT_GE(page->PageVersion(), 0);
  EXPECT_LE(page->PageVersion(), kMaxInitialPageVersion);
  EXPECT_EQ(std::memcmp(page->Buffer(), "QDXP", 4), 0);
  EXPECT_EQ(page->NextPageNo(), -1);
  EXPECT_EQ(page->OwnerObjectID(), -1);
  EXPECT_TRUE(page->Dirty);
  EXPECT_FALSE(page->ReadFromDisk);

  pm.failAdd = true;
  EXPECT_QDX_ERROR(pm.AddPage(3, ptTableBlob), 20064, "Invalid page number");
}

TEST_F(PageManagerTest, PageTypeIsCheckedOnReadUnless255OrSwitchedOff) {
  EXPECT_QDX_ERROR(pm.GetPage(3, 2, kSync, ptTableIndex), 20153,
                   "Invalid page type. Possible data corruption. Expecting type 12, but found 10");
  // The page that failed is not cached: the next request reads it again.
  const int readsBefore = pm.reads;
  pm.PutPage(pm.GetPage(3, 2, kSync, kAnyPageType));
  EXPECT_EQ(pm.reads, readsBefore + 1);

  pm.SetTypeCheckOff(true);
  pm.PutPage(pm.GetPage(3, 3, kSync, ptTableIndex));
}

TEST_F(PageManagerTest, SessionIDMinusOneIsInvalid) {
  EXPECT_QDX_ERROR(pm.GetPage(kInvalidSessionID, 1, kSync, ptTableRecord), 20186,
                   "Invalid Session ID");
  Touch(kSystemSessionID, 1);
}

TEST_F(PageManagerTest, PutPageOfAPageNotHeldIsRefused) {
  TQDXPage* page = pm.GetPage(3, 1, kSync, ptTableRecord);
  pm.PutPage(page);
  EXPECT_QDX_ERROR(pm.PutPage(page), 20085, "Invalid page");
  EXPECT_EQ(page->UseCount, 0);
}

TEST_F(PageManagerTest, EvictsTheLeastRecentlyUsedUnheldPageOnly) {
  pm.SetCacheLimit(2);
  TQDXPage* held = pm.GetPage(3, 0, kSync, ptTableRecord);
  Touch(3, 1);
  Touch(3, 2);  // three cached; the oldest (page 0) is held, so nothing goes
  EXPECT_EQ(pm.SharedList().Count(), 3);
  pm.PutPage(held);  // page 0 is now the most recent; page 1 is evicted
  EXPECT_EQ(pm.SharedList().Count(), 2);
  EXPECT_EQ(pm.SharedList().Find(1), nullptr);

  const int readsBefore = pm.reads;
  Touch(3, 0);
  Touch(3, 2);
  EXPECT_EQ(pm.reads, readsBefore);
  Touch(3, 1);  // read again, evicting page 0, now the oldest
  EXPECT_EQ(pm.reads, readsBefore + 1);
  EXPECT_EQ(pm.SharedList().Find(0), nullptr);
}

TEST_F(PageManagerTest, CommitBeyondTheCacheLimitDropsWrittenPages) {
  pm.SetCacheLimit(1);
  Change(3, 1, 0xA1);
  Change(3, 2, 0xA2);
  pm.ApplyChanges(3);
  EXPECT_EQ(pm.SharedList().Count(), 1);
  EXPECT_EQ(Mark(4, 2), 0xA2);
}

TEST_F(PageManagerTest, AddPageDropsACachedCopyOfAReusedNumber) {
  Touch(4, 7);
  pm.RemovePage(4, 7);
  pm.ApplyChanges(4);
  pm.Store(7, ptTableRecord, 0x77);  // cached again after the free, as a stale read would
  Touch(4, 7);
  pm.nextPageNo = 7;
  TQDXPageHandle page = TQDXPageHandle::Add(pm, 3, ptTableIndex);
  EXPECT_EQ(page->PageNo, 7);
  EXPECT_EQ(pm.SharedList().Find(7), nullptr);
}

TEST_F(PageManagerTest, HandleReturnsThePageOnAnExceptionPath) {
  try {
    TQDXPageHandle page = TQDXPageHandle::Get(pm, 3, 1, kSync, ptTableRecord);
    page->Data()[0] = 0xA1;
    page->Dirty = true;
    throw std::runtime_error("user failure");
  } catch (const std::runtime_error&) {
  }
  pm.ApplyChanges(3);
  EXPECT_EQ(pm.StoredMark(1), 0xA1);
}

TEST_F(PageManagerTest, FreePagesRefusesUncommittedChanges) {
  Change(3, 1, 0xA1);
  EXPECT_QDX_ERROR(pm.FreePages(), 20097, "Cannot free non-commited pages");
  pm.ApplyChanges(3);
  pm.FreePages();
  EXPECT_EQ(pm.SharedList().Count(), 0);
}

TEST_F(PageManagerTest, MultiUserRefreshRereadsOnlyPagesChangedInStorage) {
  pm.MultiUser = true;
  Touch(3, 4);
  const int readsBefore = pm.reads;
  Touch(3, 4);  // stored version unchanged: no read
  EXPECT_EQ(pm.reads, readsBefore);

  pm.Store(4, ptTableRecord, 0x44, /*version=*/2);  // another process wrote the page
  EXPECT_EQ(Mark(3, 4), 0x44);
  EXPECT_EQ(pm.reads, readsBefore + 1);

  // A held page is not re-read under its holder.
  TQDXPage* held = pm.GetPage(3, 4, kSync, ptTableRecord);
  pm.Store(4, ptTableRecord, 0x45, /*version=*/3);
  EXPECT_EQ(Mark(3, 4), 0x44);
  pm.PutPage(held);
  EXPECT_EQ(Mark(3, 4), 0x45);

  // A page freed in storage keeps its cached copy, marked with the freed version.
  pm.stored.erase(4);
  TQDXPageHandle page = TQDXPageHandle::Get(pm, 3, 4, kSync, ptTableRecord);
  EXPECT_EQ(page->PageVersion(), kFreedPageVersion);
}

TEST(PageManagerCacheLimit, IsTheSmallerOf1000AndAvailableMemoryOver64K) {
  TQDXMemoryManager& memory = QDXMemoryManager();
  const int64_t oldLimit = memory.Limit();
  memory.SetLimit(10 * 65536 + 100);
  TMemoryPageManager small;
  memory.SetLimit(oldLimit);
  EXPECT_EQ(small.CacheLimit(), 10);
  TMemoryPageManager large;
  EXPECT_LE(large.CacheLimit(), 1000);
}

}  // namespace
}  // namespace qdx
