// The B+ tree against a reference model: thousands of random inserts and deletes with many
// equal keys on small pages (several levels), each phase followed by an integrity check, walks in
// both directions and condition searches of every kind.
#include "engine/core/btree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "engine/core/page_handle.h"
#include "engine/foundation/except.h"
#include "engine/foundation/invariants.h"
#include "tests/core/memory_page_manager.h"

namespace qdx {
namespace {

using testing::TMemoryPageManager;

// int32 keys with record IDs that break ties.
class IntKeyRef : public TQDXBTreeKeyRef {
 public:
  IntKeyRef() {
    KeySize = 4;
    LeafRefSize = 6;
    ColumnCount = 1;
  }
  int CompareKeys(uint8_t* a, const uint8_t* b, const uint8_t*, const uint8_t*, int32_t,
                  bool) override {
    return CompareFullKeys(a, b);
  }
  int CompareFullKeys(const uint8_t* a, const uint8_t* b) override {
    const int32_t x = le::Load<int32_t>(a), y = le::Load<int32_t>(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
};

struct Rid {
  int32_t page;
  uint16_t slot;
  auto operator<=>(const Rid&) const = default;
};
using Entry = std::pair<int32_t, Rid>;

struct Bytes {
  uint8_t key[4];
  uint8_t ref[6];
  explicit Bytes(const Entry& e) {
    le::Store(key, e.first);
    le::Store(ref, e.second.page);
    le::Store(ref + 4, e.second.slot);
  }
};

class BTreeTest : public ::testing::Test {
 protected:
  static constexpr int32_t kSession = 0;

  Entry ReadAt(const TQDXKeyPath& path) {
    uint8_t key[4], ref[6];
    tree.ReadEntry(kSession, path, key, ref);
    return {le::Load<int32_t>(key), {le::Load<int32_t>(ref), le::Load<uint16_t>(ref + 4)}};
  }

  void Insert(const Entry& e) {
    Bytes b(e);
    tree.InsertEntry(kSession, b.key, b.ref);
    model.insert(e);
  }
  void Delete(const Entry& e) {
    Bytes b(e);
    ASSERT_TRUE(tree.DeleteEntry(kSession, b.key, b.ref)) << e.first;
    model.erase(e);
  }

  std::vector<Entry> WalkForward() {
    std::vector<Entry> out;
    TQDXKeyPath path;
    if (!tree.GoFirst(kSession, path)) return out;
    do out.push_back(ReadAt(path));
    while (tree.Next(kSession, path));
    return out;
  }
  std::vector<Entry> WalkBackward() {
    std::vector<Entry> out;
    TQDXKeyPath path;
    if (!tree.GoLast(kSession, path)) return out;
    do out.push_back(ReadAt(path));
    while (tree.Prior(kSession, path));
    std::reverse(out.begin(), out.end());
    return out;
  }

  // The model's answer for a condition search.
  std::optional<Entry> Expected(bool forward, int32_t kind, int32_t key) {
    auto meets = [&](const Entry& e) {
      switch (kind) {
        case ckEqual:
          return e.first == key;
        case ckLess:
          return e.first < key;
        case ckGreater:
          return e.first > key;
        case ckLessOrEqual:
          return e.first <= key;
        default:
          return e.first >= key;
      }
    };
    std::vector<Entry> all(model.begin(), model.end());
    if (forward) {
      // "<" and "<=" answer the first entry of the index when any entry qualifies.
      for (const Entry& e : all) {
        if (meets(e)) return (kind == ckLess || kind == ckLessOrEqual) ? all.front() : e;
      }
    } else {
      for (auto it = all.rbegin(); it != all.rend(); ++it) {
        if (meets(*it)) return (kind == ckGreater || kind == ckGreaterOrEqual) ? all.back() : *it;
      }
    }
    return std::nullopt;
  }

  void CheckAgainstModel(std::mt19937& random) {
    ASSERT_NO_THROW(tree.CheckIntegrity(kSession));
    const std::vector<Entry> expected(model.begin(), model.end());
    ASSERT_EQ(WalkForward(), expected);
    ASSERT_EQ(WalkBackward(), expected);
    for (int i = 0; i < 40; ++i) {
      const int32_t key = static_cast<int32_t>(random() % 70) - 5;
      const int32_t kind = 1 + static_cast<int32_t>(random() % 5);
      const bool forward = random() % 2 == 0;
      uint8_t bytes[4];
      le::Store(bytes, key);
      TQDXKeyPath path;
      const bool found = tree.FindCondition(kSession, forward, path, kind, bytes);
      const std::optional<Entry> want = Expected(forward, kind, key);
      ASSERT_EQ(found, want.has_value()) << "kind " << kind << " key " << key;
      if (found) {
        ASSERT_EQ(ReadAt(path), *want) << "kind " << kind << " key " << key;
      }
    }
    // Every page went back to the manager.
    ASSERT_NO_THROW(pages.ApplyChanges(kSession));
  }

  TMemoryPageManager pages{128};  // 7 leaf entries, 8 node entries per page
  IntKeyRef keyRef;
  TQDXBTree tree{pages, keyRef};
  std::set<Entry> model;
};

TEST_F(BTreeTest, RandomInsertsAndDeletesMatchTheModel) {
  std::mt19937 random(20240611);
  const int32_t root = tree.CreateRoot(kSession);
  uint16_t nextSlot = 0;
  for (int phase = 0; phase < 12; ++phase) {
    const bool growing = phase % 3 != 2;
    for (int i = 0; i < 300; ++i) {
      if (growing || model.empty() || random() % 4 == 0) {
        const int32_t key = static_cast<int32_t>(random() % 60);
        Insert({key, {static_cast<int32_t>(random() % 8), nextSlot++}});
      } else {
        auto it = model.begin();
        std::advance(it, random() % model.size());
        Delete(*it);
      }
    }
    SCOPED_TRACE(phase);
    CheckAgainstModel(random);
    ASSERT_EQ(tree.RootPageNo, root);
  }
  // Deleting every key leaves the root, an empty leaf, where it was.
  std::vector<Entry> rest(model.begin(), model.end());
  std::shuffle(rest.begin(), rest.end(), random);
  for (const Entry& e : rest) Delete(e);
  CheckAgainstModel(random);
  TQDXKeyPath path;
  EXPECT_FALSE(tree.GoFirst(kSession, path));
  EXPECT_EQ(tree.RootPageNo, root);
  TQDXPageHandle page = tree.GetIndexPage(kSession, root);
  EXPECT_TRUE(tree.View(page).IsLeaf());
  EXPECT_TRUE(tree.View(page).IsRoot());
  EXPECT_EQ(tree.View(page).EntryCount(), 0);
  page.Release();
  // Only the root is left of all the pages the tree used.
  pages.ApplyChanges(kSession);
  EXPECT_EQ(pages.stored.size(), 1u);
}

TEST_F(BTreeTest, AscendingAndDescendingLoadsSplitAndCollapseTheRootInPlace) {
  std::mt19937 random(7);
  const int32_t root = tree.CreateRoot(kSession);
  for (int32_t k = 0; k < 7; ++k) Insert({k, {1, static_cast<uint16_t>(k)}});
  {
    TQDXPageHandle page = tree.GetIndexPage(kSession, root);
    ASSERT_TRUE(tree.View(page).IsLeaf());  // full, not yet split
  }
  Insert({7, {1, 7}});
  {
    TQDXPageHandle page = tree.GetIndexPage(kSession, root);
    EXPECT_FALSE(tree.View(page).IsLeaf());
    EXPECT_EQ(tree.View(page).EntryCount(), 2);
  }
  for (int32_t k = 8; k < 400; ++k) Insert({k, {1, static_cast<uint16_t>(k)}});
  for (int32_t k = -1; k > -400; --k) Insert({k, {2, static_cast<uint16_t>(-k)}});
  CheckAgainstModel(random);
  for (int32_t k = 399; k > -400; --k) {
    Delete(*model.rbegin());
    if (k % 97 == 0) CheckAgainstModel(random);
  }
  EXPECT_EQ(tree.RootPageNo, root);
  TQDXPageHandle page = tree.GetIndexPage(kSession, root);
  EXPECT_TRUE(tree.View(page).IsLeaf());
  EXPECT_EQ(tree.View(page).EntryCount(), 0);
}

TEST_F(BTreeTest, ManyEqualKeysKeepRecordIDOrderAndCanEachBeFound) {
  std::mt19937 random(3);
  tree.CreateRoot(kSession);
  std::vector<Entry> entries;
  for (uint16_t s = 0; s < 200; ++s) entries.push_back({5, {static_cast<int32_t>(s % 9), s}});
  std::shuffle(entries.begin(), entries.end(), random);
  for (const Entry& e : entries) Insert(e);
  CheckAgainstModel(random);
  for (const Entry& e : entries) {
    Bytes b(e);
    TQDXKeyPath path;
    ASSERT_TRUE(tree.FindEntry(kSession, b.key, b.ref, path));
    EXPECT_EQ(ReadAt(path), e);
  }
  Bytes missing(Entry{5, {3, 999}});
  EXPECT_FALSE(tree.DeleteEntry(kSession, missing.key, missing.ref));
}

TEST_F(BTreeTest, DamagedPagesAndMissingRootsRaiseEngineErrors) {
  uint8_t key[4] = {}, ref[6] = {};
  TQDXKeyPath path;
  try {
    tree.InsertEntry(kSession, key, ref);
    FAIL();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 20123);
  }
  // Keys too wide for a page to hold three.
  IntKeyRef wide;
  wide.KeySize = 30;
  TQDXBTree wideTree(pages, wide);
  try {
    wideTree.CreateRoot(kSession);
    FAIL();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 20078);
  }
  const int32_t root = tree.CreateRoot(kSession);
  for (int32_t k = 0; k < 50; ++k) Insert({k, {0, static_cast<uint16_t>(k)}});
  pages.ApplyChanges(kSession);
  // A key size that does not match the index.
  {
    TQDXPageHandle page = TQDXPageHandle::Get(pages, kSession, root, false, ptTableIndex);
    le::Store<uint16_t>(page->Data() + 12, 9);
    page->Dirty = true;
  }
  try {
    tree.GoFirst(kSession, path);
    FAIL();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 20029);
  }
  pages.CancelChanges(kSession);
  // A child that points back at the root: the descent stops instead of looping.
  {
    TQDXPageHandle page = TQDXPageHandle::Get(pages, kSession, root, false, ptTableIndex);
    TQDXBTreePage view = tree.View(page);
    ASSERT_FALSE(view.IsLeaf());
    view.SetChild(0, root);
    page->Dirty = true;
  }
  EXPECT_THROW(tree.GoFirst(kSession, path), EQDXException);
  EXPECT_THROW(tree.CheckIntegrity(kSession), EQDXException);
  pages.CancelChanges(kSession);
  // The first leaf linked to itself: a walk stops instead of circling.
  {
    const int32_t first = tree.FirstLeafPageNo(kSession);
    TQDXPageHandle page = tree.GetIndexPage(kSession, first);
    tree.View(page).SetNextPageNo(first);
    page->Dirty = true;
  }
  try {
    ASSERT_TRUE(tree.GoFirst(kSession, path));
    for (int i = 0; i < 1000 && tree.Next(kSession, path);) ++i;
    FAIL();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 20033);
  }
  EXPECT_THROW(tree.CheckIntegrity(kSession), EQDXException);
  pages.CancelChanges(kSession);
  // Two leaf entries swapped.
  ASSERT_TRUE(tree.GoFirst(kSession, path));
  {
    TQDXPageHandle page = tree.GetIndexPage(kSession, path.Leaf().PageNo);
    TQDXBTreePage view = tree.View(page);
    le::Store<int32_t>(view.Key(0), 1000);
    page->Dirty = true;
  }
  try {
    tree.CheckIntegrity(kSession);
    FAIL();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 20028);
  }
}

// A debug build checks the pages a split changed as soon as the insert is done: damage that
// a split carries along (keys out of order, a sibling link lost) stops the insert with 20390
// instead of reaching storage.
TEST_F(BTreeTest, ADebugBuildChecksThePagesASplitChanged) {
  if constexpr (!kCheckInvariants) GTEST_SKIP() << "the checks are compiled out";
  const std::vector<std::pair<const char*, std::function<void(TQDXBTreePage&)>>> damages = {
      {"keys out of order",
       [](TQDXBTreePage& leaf) {
         std::vector<uint8_t> first(leaf.Key(0), leaf.Key(0) + 4);
         std::copy_n(leaf.Key(leaf.EntryCount() - 1), 4, leaf.Key(0));
         std::copy(first.begin(), first.end(), leaf.Key(leaf.EntryCount() - 1));
       }},
      {"sibling link lost", [](TQDXBTreePage& leaf) { leaf.SetNextPageNo(-1); }},
  };
  for (const auto& [name, damage] : damages) {
    SCOPED_TRACE(name);
    TQDXBTree damaged{pages, keyRef};
    damaged.RootPageNo = damaged.CreateRoot(kSession);
    const auto insert = [&](int32_t key, uint16_t slot) {
      Bytes b({key, {1, slot}});
      damaged.InsertEntry(kSession, b.key, b.ref);
    };
    for (int32_t k = 0; k < 50; ++k) insert(k, static_cast<uint16_t>(k));
    {
      TQDXPageHandle page = damaged.GetIndexPage(kSession, damaged.FirstLeafPageNo(kSession));
      TQDXBTreePage leaf = damaged.View(page);
      damage(leaf);
      page->Dirty = true;
    }
    // Inserts in front of the damaged leaf until it splits.
    int32_t code = 0;
    for (int32_t k = -1; k > -20 && code == 0; --k) {
      try {
        insert(k, static_cast<uint16_t>(100 - k));
      } catch (const EQDXException& e) {
        code = e.ErrorCode();
      }
    }
    EXPECT_EQ(code, 20390);
    pages.CancelChanges(kSession);
  }
}

}  // namespace
}  // namespace qdx
