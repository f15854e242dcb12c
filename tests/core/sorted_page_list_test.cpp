#include "engine/core/sorted_page_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "engine/core/page.h"
#include "engine/foundation/except.h"
#include "tests/core/memory_page_manager.h"

namespace qdx {
namespace {

using ::testing::HasSubstr;

class SortedPageListTest : public ::testing::Test {
 protected:
  TQDXPage* Page(int32_t pageNo) {
    pages_.push_back(std::make_unique<TQDXPage>(manager_, pageNo));
    return pages_.back().get();
  }
  std::vector<int32_t> Keys() const {
    std::vector<int32_t> keys;
    for (int32_t i = 0; i < list.Count(); ++i) keys.push_back(list.Page(i)->PageNo);
    return keys;
  }

  TQDXSortedPageList list;

 private:
  testing::TMemoryPageManager manager_;
  std::vector<std::unique_ptr<TQDXPage>> pages_;
};

TEST_F(SortedPageListTest, KeepsPagesInNumberOrderAndFindsThem) {
  for (int32_t n : {50, 7, 300, -3, 12}) list.Add(Page(n));
  EXPECT_EQ(Keys(), (std::vector<int32_t>{-3, 7, 12, 50, 300}));
  EXPECT_EQ(list.IndexOf(50), 3);
  EXPECT_EQ(list.IndexOf(51), -1);
  EXPECT_EQ(list.Find(12)->PageNo, 12);
  EXPECT_EQ(list.Find(13), nullptr);
  list.Delete(7);
  EXPECT_EQ(Keys(), (std::vector<int32_t>{-3, 12, 50, 300}));
}

TEST_F(SortedPageListTest, OldestIsTheLeastRecentlyStamped) {
  TQDXPage* a = Page(1);
  TQDXPage* b = Page(2);
  TQDXPage* c = Page(3);
  list.Add(b);
  list.Add(a);
  list.Add(c);
  EXPECT_EQ(list.Oldest(), b);
  list.Touch(b);
  EXPECT_EQ(list.Oldest(), a);
  list.Touch(a);
  EXPECT_EQ(list.Oldest(), c);
}

TEST_F(SortedPageListTest, OldestFollowsTheSmallestStampThroughEveryChange) {
  std::vector<TQDXPage*> pages;
  for (int32_t n = 0; n < 40; ++n) pages.push_back(Page(n));
  std::mt19937 random(7);
  const auto smallestStamp = [&] {
    int32_t best = 0;
    for (int32_t i = 1; i < list.Count(); ++i)
      if (list.Stamp(i) < list.Stamp(best)) best = i;
    return list.Page(best);
  };
  for (int step = 0; step < 2000; ++step) {
    TQDXPage* page = pages[random() % pages.size()];
    const bool held = list.Find(page->PageNo) == page;
    switch (random() % 4) {
      case 0:
        if (!held) list.Add(page);
        break;
      case 1:
        if (held) list.Touch(page);
        break;
      case 2:
        if (held) list.Delete(page->PageNo);
        break;
      default:
        if (step % 50 == 0) list.DeleteFirst(3);
        break;
    }
    ASSERT_EQ(list.Oldest(), list.Count() == 0 ? nullptr : smallestStamp()) << "step " << step;
  }
  list.Clear();
  EXPECT_EQ(list.Oldest(), nullptr);
  list.Add(pages[5]);
  EXPECT_EQ(list.Oldest(), pages[5]);
}

TEST_F(SortedPageListTest, ReportsMissingPages) {
  try {
    list.Delete(5);
    FAIL();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 20165);
    EXPECT_THAT(e.Message(), HasSubstr("TSortedPageList.Delete - no elements in array!"));
  }
  list.Add(Page(4));
  try {
    list.Delete(5);
    FAIL();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 20166);
    EXPECT_THAT(e.Message(), HasSubstr("element not found, key = 5, itemCount = 1"));
  }
  // Another object of a held number is not the held page.
  try {
    list.Touch(Page(4));
    FAIL();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 20167);
  }
}

TEST_F(SortedPageListTest, CapacityGrowsAndShrinksInDoublingSteps) {
  list.Add(Page(0));
  EXPECT_EQ(list.Capacity(), 2000);
  for (int32_t n = 1; n < 2001; ++n) list.Add(Page(n));
  EXPECT_EQ(list.Capacity(), 6000);
  for (int32_t n = 2001; n < 6001; ++n) list.Add(Page(n));
  EXPECT_EQ(list.Capacity(), 14000);

  // Shrinks to the count once more than the shrink step (1000, then 2000) lies unused.
  list.Delete(6000);
  EXPECT_EQ(list.Capacity(), 6000);
  for (int32_t n = 5999; n >= 4000; --n) list.Delete(n);
  EXPECT_EQ(list.Capacity(), 6000);
  list.Delete(3999);
  EXPECT_EQ(list.Capacity(), 3999);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 0);
}

}  // namespace
}  // namespace qdx
