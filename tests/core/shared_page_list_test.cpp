#include "engine/core/shared_page_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "engine/core/page.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "tests/core/memory_page_manager.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

class SharedPageListTest : public ::testing::Test {
 protected:
  TQDXPage* Page(int32_t pageNo) {
    pages_.push_back(std::make_unique<TQDXPage>(manager_, pageNo));
    return pages_.back().get();
  }
  std::vector<int32_t> NumbersByUse() const {
    std::vector<int32_t> numbers;
    list.ForEach([&](const TQDXPage* page) { numbers.push_back(page->PageNo); });
    return numbers;
  }

  TQDXSharedPageList list;

 private:
  testing::TMemoryPageManager manager_;
  std::vector<std::unique_ptr<TQDXPage>> pages_;
};

TEST_F(SharedPageListTest, KeepsPagesInOrderOfUse) {
  TQDXPage* a = Page(1);
  TQDXPage* b = Page(2);
  TQDXPage* c = Page(3);
  EXPECT_EQ(list.Oldest(), nullptr);
  list.Add(b);
  list.Add(a);
  list.Add(c);
  EXPECT_EQ(list.Oldest(), b);
  list.Touch(b);
  EXPECT_EQ(NumbersByUse(), (std::vector<int32_t>{1, 3, 2}));
  list.Touch(b);  // already the newest
  list.Delete(3);
  EXPECT_EQ(NumbersByUse(), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(list.Find(3), nullptr);
  EXPECT_EQ(list.Pages(), (std::vector<TQDXPage*>{a, b}));
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Find(1), nullptr);
  list.Add(c);
  EXPECT_EQ(list.Oldest(), c);
}

TEST_F(SharedPageListTest, RefusesPagesItDoesNotHold) {
  EXPECT_QDX_ERROR(list.Delete(4), msg::kSortedPageListEmpty, "no elements");
  list.Add(Page(4));
  EXPECT_QDX_ERROR(list.Delete(5), msg::kSortedPageListKeyNotFound, "");
  EXPECT_QDX_ERROR(list.Touch(Page(5)), msg::kPageNotFound, "Page not found");
  // Another object of a held number is not the held page.
  EXPECT_QDX_ERROR(list.Touch(Page(4)), msg::kPageNotFound, "Page not found");
  EXPECT_EQ(list.Count(), 1);
}

// Random adds, deletes and touches against a plain model. The numbers are drawn from a few
// strided runs, so that many share a home slot and deletions must close gaps inside long probe
// runs, including runs that wrap around the end of the table.
TEST_F(SharedPageListTest, AgreesWithAModelUnderRandomChanges) {
  std::mt19937 random(20261210);
  std::map<int32_t, TQDXPage*> held;
  std::list<TQDXPage*> byUse;
  auto number = [&] {
    const int32_t run = static_cast<int32_t>(random() % 4);
    return run * 1'000'003 + static_cast<int32_t>(random() % 300) * (run == 0 ? 64 : 1) - 5;
  };
  for (int step = 0; step < 20000; ++step) {
    const int32_t pageNo = number();
    const auto it = held.find(pageNo);
    const uint32_t action = random() % 3;
    if (it == held.end()) {
      if (action == 0) continue;
      TQDXPage* page = Page(pageNo);
      list.Add(page);
      held[pageNo] = page;
      byUse.push_back(page);
    } else if (action == 0) {
      list.Delete(pageNo);
      byUse.remove(it->second);
      held.erase(it);
    } else {
      list.Touch(it->second);
      byUse.remove(it->second);
      byUse.push_back(it->second);
    }
    ASSERT_EQ(list.Count(), static_cast<int32_t>(held.size()));
    if (step % 500 == 0) {
      for (const auto& [n, page] : held) ASSERT_EQ(list.Find(n), page) << n;
      ASSERT_EQ(list.Pages(), std::vector<TQDXPage*>(byUse.begin(), byUse.end()));
    }
  }
  for (const auto& [n, page] : held) EXPECT_EQ(list.Find(n), page) << n;
  EXPECT_EQ(list.Oldest(), byUse.empty() ? nullptr : byUse.front());
}

}  // namespace
}  // namespace qdx
