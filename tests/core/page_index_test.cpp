// The record and BLOB page indexes: values per page against a std::map, room rules, entries that
// vanish with their last record, and positions over the running sum of values.
#include "engine/core/page_index.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>

#include "engine/foundation/except.h"
#include "tests/core/memory_page_manager.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using testing::TMemoryPageManager;
constexpr int32_t kSession = 0;

std::map<int32_t, int32_t> Contents(TQDXBTreePageIndex& index) {
  std::map<int32_t, int32_t> out;
  TQDXKeyPath path;
  if (!index.GoFirst(kSession, path)) return out;
  do out[index.PageAt(kSession, path)] = index.GetValue(kSession, path);
  while (index.Next(kSession, path));
  return out;
}

TEST(PageIndexTest, RecordPageValuesFollowAddsAndRemovesAcrossManyPages) {
  TMemoryPageManager pages(128);  // 11 entries per leaf: several levels for 600 pages
  TQDXBTreeRecordPageIndex index(pages, 5);
  const int32_t root = index.CreateRoot(kSession);
  std::map<int32_t, int32_t> model;
  std::mt19937 random(11);
  for (int i = 0; i < 4000; ++i) {
    const int32_t page = 1000 + static_cast<int32_t>(random() % 600);
    auto it = model.find(page);
    if (random() % 3 != 0) {
      const int32_t code = testing::QdxErrorCode([&] { index.AddToPage(kSession, page, 1); });
      if (it != model.end() && it->second >= 5) {
        EXPECT_EQ(code, 20106);  // "Cannot add data item to page. Page is full"
      } else {
        ASSERT_EQ(code, 0);
        ++model[page];
      }
    } else if (it == model.end()) {
      EXPECT_EQ(testing::QdxErrorCode([&] { index.RemoveFromPage(kSession, page, -1, 1); }), 20111);
    } else {
      index.RemoveFromPage(kSession, page, -1, 1);
      if (--it->second == 0) model.erase(it);  // the entry vanishes with its last record
    }
  }
  ASSERT_NO_THROW(index.CheckIntegrity(kSession));
  EXPECT_EQ(Contents(index), model);
  EXPECT_EQ(index.RootPageNo(), root);

  // Positions walk the pages in order, each counting its value.
  int64_t position = 0;
  for (const auto& [page, value] : model) {
    for (int32_t k = 0; k < value; ++k, ++position) {
      int32_t offset = -1;
      ASSERT_EQ(index.PageOfPosition(kSession, position, offset), page);
      ASSERT_EQ(offset, k);
    }
  }
  int32_t offset;
  EXPECT_EQ(testing::QdxErrorCode([&] { index.PageOfPosition(kSession, position, offset); }),
            20113);

  // A page with room is one of the listed pages that is not full.
  const int32_t withRoom = index.FindPageWithRoom(kSession, 1);
  if (withRoom != -1) {
    EXPECT_LT(model.at(withRoom), 5);
  }

  index.EmptyAll(kSession);
  EXPECT_TRUE(Contents(index).empty());
  EXPECT_EQ(index.RootPageNo(), root);
  index.DropAll(kSession);
  EXPECT_EQ(index.RootPageNo(), -1);
  EXPECT_EQ(testing::QdxErrorCode([&] { index.DropAll(kSession); }), 20119);
  pages.ApplyChanges(kSession);
  EXPECT_TRUE(pages.stored.empty());
}

TEST(PageIndexTest, FindPageWithRoomLooksAtTheLastThenTheFirstLeaf) {
  TMemoryPageManager pages(128);
  TQDXBTreeRecordPageIndex index(pages, 2);
  index.CreateRoot(kSession);
  for (int32_t page = 1; page <= 60; ++page) {
    index.AddToPage(kSession, page, 1);
    index.AddToPage(kSession, page, 1);  // full
  }
  EXPECT_EQ(index.FindPageWithRoom(kSession, 1), -1);
  index.RemoveFromPage(kSession, 3, 1, 0);  // set to 1: room in the first leaf
  EXPECT_EQ(index.FindPageWithRoom(kSession, 1), 3);
  index.RemoveFromPage(kSession, 59, -1, 1);  // the last leaf is searched first
  EXPECT_EQ(index.FindPageWithRoom(kSession, 1), 59);
  index.RemoveFromPage(kSession, 59, 2, 0);
  index.RemoveFromPage(kSession, 3, 2, 0);
  index.RemoveFromPage(kSession, 30, -1, 1);  // a middle page is not looked at
  EXPECT_EQ(index.FindPageWithRoom(kSession, 1), -1);
}

// The entry FindPageWithRoom leaves its path on spares AddToPage the search; a path that names
// another page (stale, or handed over by mistake) must not move that page's count.
TEST(PageIndexTest, AddToPageTakesTheFoundEntryOnlyWhenItNamesThePage) {
  TMemoryPageManager pages(128);
  TQDXBTreeRecordPageIndex index(pages, 4);
  index.CreateRoot(kSession);
  for (int32_t page = 1; page <= 60; ++page) {
    for (int32_t i = 0; i < 4; ++i) index.AddToPage(kSession, page, 1);  // all full
  }
  index.RemoveFromPage(kSession, 7, -1, 1);   // room in the middle, not searched
  index.RemoveFromPage(kSession, 2, -1, 1);   // room in the first leaf
  index.RemoveFromPage(kSession, 58, -1, 1);  // and in the last
  TQDXKeyPath found;
  ASSERT_EQ(index.FindPageWithRoom(kSession, 1, &found), 58);
  EXPECT_EQ(index.PageAt(kSession, found), 58);
  index.AddToPage(kSession, 58, 1, &found);
  ASSERT_EQ(index.FindPageWithRoom(kSession, 1, &found), 2);
  EXPECT_EQ(index.PageAt(kSession, found), 2);
  index.AddToPage(kSession, 7, 1, &found);  // names page 2: page 7 is looked up instead
  std::map<int32_t, int32_t> expected;
  for (int32_t page = 1; page <= 60; ++page) expected[page] = 4;
  expected[2] = 3;
  EXPECT_EQ(Contents(index), expected);
}

TEST(PageIndexTest, BlobPagesHaveRoomBelowTheDataSize) {
  TMemoryPageManager pages(128);  // data size 88: values up to 85
  TQDXBTreeBlobPageIndex index(pages);
  index.CreateRoot(kSession);
  index.AddToPage(kSession, 7, 80);
  EXPECT_EQ(testing::QdxErrorCode([&] { index.AddToPage(kSession, 7, 6); }), 20106);
  index.AddToPage(kSession, 7, 5);
  EXPECT_EQ(index.FindPageWithRoom(kSession, 1), -1);
  // Removing more than the page holds empties it rather than wrapping round.
  index.RemoveFromPage(kSession, 7, -1, 500);
  EXPECT_TRUE(Contents(index).empty());
  EXPECT_EQ(testing::QdxErrorCode([&] { index.RemoveFromPage(kSession, 7, -1, 1); }), 20111);
}

}  // namespace
}  // namespace qdx
