#include "engine/core/btree.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "engine/core/page_handle.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

int CompareRecordIDBytes(const uint8_t* a, const uint8_t* b) {
  const int32_t pageA = le::Load<int32_t>(a);
  const int32_t pageB = le::Load<int32_t>(b);
  if (pageA != pageB) return pageA < pageB ? -1 : 1;
  const uint16_t slotA = le::Load<uint16_t>(a + 4);
  const uint16_t slotB = le::Load<uint16_t>(b + 4);
  if (slotA != slotB) return slotA < slotB ? -1 : 1;
  return 0;
}

void TQDXLeafWalkGuard::Visit(const TQDXKeyPath& path) {
  if (path.LevelCount <= 0) return;
  const int32_t pageNo = path.Leaf().PageNo;
  if (pageNo == last_) return;
  if (!seen_.insert(pageNo).second) {
    Raise(msg::kIndexCircularLinks, {pageNo, path.Leaf().EntryNo});
  }
  last_ = pageNo;
}

// ---- pages ----

TQDXPageHandle TQDXBTree::GetIndexPage(int32_t sessionID, int32_t pageNo) {
  TQDXPageHandle page =
      TQDXPageHandle::Get(*pageManager_, sessionID, pageNo, pageManager_->MultiUser, ptTableIndex);
  if (!View(page).IsSound(keyRef_->KeySize)) Raise(msg::kIndexPageDamaged, {pageNo, -1});
  return page;
}

TQDXBTreePage TQDXBTree::View(const TQDXPageHandle& page) const {
  return TQDXBTreePage(page->Data(), page->DataSize(), keyRef_->LeafRefSize);
}

void TQDXBTree::RequireRoot() const {
  if (RootPageNo < 0) Raise(msg::kIndexWithoutTree);
}

void TQDXBTree::PushLevel(TQDXKeyPath& path, int32_t level, int32_t pageNo, int32_t entryNo,
                          int32_t count) const {
  // A deeper tree than a path can hold can only come from pages that link in a cycle.
  if (level >= TQDXKeyPath::kMaxLevels) Raise(msg::kIndexPageDamaged, {pageNo, entryNo});
  path.Levels[level] = {pageNo, entryNo, count};
  path.LevelCount = level + 1;
  path.CurrentLevel = level;
}

int32_t TQDXBTree::KeysPerPage(int32_t* remainder) const {
  const int32_t size = keyRef_->KeySize + kBTreeNodeRefSize;
  if (remainder != nullptr) *remainder = PageDataSize() % size;
  return PageDataSize() / size;
}

void TQDXBTree::CheckKeySize() const {
  // A node must hold at least three entries for splits to make progress.
  const int32_t widest = keyRef_->KeySize + std::max(keyRef_->LeafRefSize, kBTreeNodeRefSize);
  if (keyRef_->KeySize <= 0 || (PageDataSize() - kBTreeHeaderSize) / widest < 3) {
    Raise(msg::kIndexErrorInvalidParams);
  }
}

int32_t TQDXBTree::CreateRoot(int32_t sessionID) {
  pageManager_->AssertDatabaseLockHeld();
  CheckKeySize();
  TQDXPageHandle root = TQDXPageHandle::Add(*pageManager_, sessionID, ptTableIndex);
  std::memset(root->Data(), 0, root->DataSize());
  View(root).Init(/*root=*/true, /*leaf=*/true, keyRef_->KeySize, 1);
  root->Dirty = true;
  RootPageNo = root->PageNo;
  return RootPageNo;
}

void TQDXBTree::FreeSubtree(int32_t sessionID, int32_t pageNo, int32_t depth) {
  if (depth >= TQDXKeyPath::kMaxLevels) Raise(msg::kIndexPageDamaged, {pageNo, -1});
  std::vector<int32_t> children;
  {
    TQDXPageHandle page = GetIndexPage(sessionID, pageNo);
    const TQDXBTreePage view = View(page);
    if (!view.IsLeaf()) {
      for (int32_t i = 0; i < view.EntryCount(); ++i) children.push_back(view.Child(i));
    }
  }
  for (int32_t child : children) FreeSubtree(sessionID, child, depth + 1);
  if (pageNo != RootPageNo) pageManager_->RemovePage(sessionID, pageNo);
}

void TQDXBTree::FreePages(int32_t sessionID, bool keepRoot) {
  pageManager_->AssertDatabaseLockHeld();
  RequireRoot();
  FreeSubtree(sessionID, RootPageNo, 0);
  if (keepRoot) {
    TQDXPageHandle root = GetIndexPage(sessionID, RootPageNo);
    TQDXBTreePage view = View(root);
    const uint8_t created = view.CreatedFlag();
    std::memset(root->Data(), 0, root->DataSize());
    View(root).Init(true, true, keyRef_->KeySize, created);
    root->Dirty = true;
  } else {
    pageManager_->RemovePage(sessionID, RootPageNo);
    RootPageNo = -1;
  }
}

// ---- searching ----

int TQDXBTree::CompareWithEntry(int32_t sessionID, uint8_t* key, const uint8_t* ref,
                                const TQDXBTreePage& page, int32_t i, bool exact) {
  const bool ids = keyRef_->RefIsRecordID && page.IsLeaf();
  const uint8_t* refB = ids && exact ? page.Ref(i) : nullptr;
  const uint8_t* refA = ids ? ref : nullptr;
  int c = keyRef_->CompareKeys(key, page.Key(i), refB, refA, sessionID, exact);
  if (c == 0 && ids && ref != nullptr) c = CompareRecordIDBytes(ref, page.Ref(i));
  return c;
}

TQDXBTree::SearchBounds TQDXBTree::Bounds(int32_t sessionID, uint8_t* key, const uint8_t* ref,
                                          const TQDXBTreePage& page, bool exact) {
  const int32_t start = page.IsLeaf() ? 0 : 1;
  const int32_t count = page.EntryCount();
  if (count <= start) return {count, count};
  // The last entry first: ascending loads then need one comparison per page.
  const int last = CompareWithEntry(sessionID, key, ref, page, count - 1, exact);
  if (last > 0) return {count, count};
  // lower: the first entry not below the key (entry count - 1 is one).
  int32_t lo = start, hi = count - 1;
  while (lo < hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (CompareWithEntry(sessionID, key, ref, page, mid, exact) > 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  SearchBounds bounds{lo, count};
  // upper: the first entry above the key. Equal to the last entry: all from lower on are equal.
  if (last == 0) return bounds;
  if (CompareWithEntry(sessionID, key, ref, page, lo, exact) < 0) {
    bounds.upper = lo;
    return bounds;
  }
  lo = lo + 1;
  hi = count - 1;  // the last entry is above the key
  while (lo < hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (CompareWithEntry(sessionID, key, ref, page, mid, exact) >= 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  bounds.upper = lo;
  return bounds;
}

void TQDXBTree::ReadSubtreeFirst(int32_t sessionID, int32_t pageNo, uint8_t* key, uint8_t* ref) {
  for (int32_t depth = 0; depth < TQDXKeyPath::kMaxLevels; ++depth) {
    TQDXPageHandle page = GetIndexPage(sessionID, pageNo);
    const TQDXBTreePage view = View(page);
    if (view.EntryCount() == 0) Raise(msg::kIndexPageDamaged, {pageNo, 0});
    if (view.IsLeaf()) {
      std::memcpy(key, view.Key(0), keyRef_->KeySize);
      std::memcpy(ref, view.Ref(0), keyRef_->LeafRefSize);
      return;
    }
    pageNo = view.Child(0);
  }
  Raise(msg::kIndexPageDamaged, {pageNo, 0});
}

int32_t TQDXBTree::ChooseChild(int32_t sessionID, uint8_t* key, const uint8_t* ref,
                               const TQDXBTreePage& page) {
  const SearchBounds bounds = Bounds(sessionID, key, nullptr, page, /*exact=*/false);
  if (bounds.lower == bounds.upper || ref == nullptr || !keyRef_->RefIsRecordID) {
    return bounds.upper - 1;
  }
  // Separators equal to the key: the children from lower - 1 to upper - 1 may hold it. Take the
  // last whose first entry is not above (key, ref).
  std::vector<uint8_t> firstKey(keyRef_->KeySize), firstRef(keyRef_->LeafRefSize);
  int32_t chosen = bounds.lower - 1;
  int32_t lo = bounds.lower, hi = bounds.upper - 1;
  while (lo <= hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    ReadSubtreeFirst(sessionID, page.Child(mid), firstKey.data(), firstRef.data());
    int c = keyRef_->CompareKeys(key, firstKey.data(), firstRef.data(), ref, sessionID, true);
    if (c == 0) c = CompareRecordIDBytes(ref, firstRef.data());
    if (c >= 0) {
      chosen = mid;
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return chosen;
}

TQDXBTree::SearchBounds TQDXBTree::Descend(int32_t sessionID, uint8_t* key, const uint8_t* ref,
                                           TQDXKeyPath& path) {
  RequireRoot();
  int32_t pageNo = RootPageNo;
  for (int32_t level = 0;; ++level) {
    TQDXPageHandle page = GetIndexPage(sessionID, pageNo);
    const TQDXBTreePage view = View(page);
    if (view.IsLeaf()) {
      const SearchBounds bounds = Bounds(sessionID, key, ref, view, /*exact=*/true);
      const bool ids = ref != nullptr && keyRef_->RefIsRecordID;
      PushLevel(path, level, pageNo, ids ? bounds.lower : bounds.upper, view.EntryCount());
      return bounds;
    }
    if (view.EntryCount() == 0) Raise(msg::kIndexPageDamaged, {pageNo, 0});
    const int32_t child = ChooseChild(sessionID, key, ref, view);
    PushLevel(path, level, pageNo, child, view.EntryCount());
    pageNo = view.Child(child);
  }
}

bool TQDXBTree::FindEntry(int32_t sessionID, const uint8_t* key, const uint8_t* ref,
                          TQDXKeyPath& path) {
  pageManager_->AssertDatabaseLockHeld();
  scratchKey_.assign(key, key + keyRef_->KeySize);
  const int32_t lower = Descend(sessionID, scratchKey_.data(), ref, path).lower;
  TQDXKeyPath::Level& leaf = path.Levels[path.LevelCount - 1];
  leaf.EntryNo = lower;
  if (lower < leaf.EntryCount) {
    TQDXPageHandle page = GetIndexPage(sessionID, leaf.PageNo);
    if (CompareWithEntry(sessionID, scratchKey_.data(), ref, View(page), lower, true) == 0) {
      return true;
    }
  }
  if (ref == nullptr || !keyRef_->RefIsRecordID) return false;
  // The ordered search missed: walk the entries with an equal key for the record ID, as a tree
  // whose order was disturbed still lets its entries be found and removed.
  if (!FindCondition(sessionID, true, path, ckEqual, key)) return false;
  TQDXLeafWalkGuard guard;
  do {
    guard.Visit(path);
    TQDXPageHandle page = GetIndexPage(sessionID, path.Leaf().PageNo);
    const TQDXBTreePage view = View(page);
    const int32_t i = path.Leaf().EntryNo;
    if (keyRef_->CompareKeys(scratchKey_.data(), view.Key(i), nullptr, nullptr, sessionID, false) !=
        0) {
      return false;
    }
    if (CompareRecordIDBytes(ref, view.Ref(i)) == 0) return true;
  } while (Next(sessionID, path));
  return false;
}

// ---- insertion ----

void TQDXBTree::InsertEntry(int32_t sessionID, const uint8_t* key, const uint8_t* ref) {
  pageManager_->AssertDatabaseLockHeld();
  CheckKeySize();
  std::vector<uint8_t> keyCopy(key, key + keyRef_->KeySize);
  TQDXKeyPath path;
  changedPages_.clear();
  Descend(sessionID, keyCopy.data(), ref, path);
  InsertAt(sessionID, path, path.LevelCount - 1, keyCopy.data(), ref);
  CheckChangedPages(sessionID);
}

void TQDXBTree::InsertAt(int32_t sessionID, TQDXKeyPath& path, int32_t level, const uint8_t* key,
                         const uint8_t* ref) {
  TQDXPageHandle page = GetIndexPage(sessionID, path.Levels[level].PageNo);
  TQDXBTreePage view = View(page);
  const int32_t count = view.EntryCount();
  const int32_t size = view.EntrySize();
  const int32_t keySize = view.KeySize();
  const int32_t at = path.Levels[level].EntryNo;
  if (at < 0 || at > count) Raise(msg::kIndexPageDamaged, {page->PageNo, at});
  page->Dirty = true;
  if (count < view.Capacity()) {
    std::memmove(view.Entry(at + 1), view.Entry(at), static_cast<size_t>(count - at) * size);
    std::memcpy(view.Key(at), key, keySize);
    std::memcpy(view.Ref(at), ref, view.RefSize());
    view.SetEntryCount(count + 1);
    path.Levels[level].EntryCount = count + 1;
    return;
  }
  // Overfull: lay the entries out with the new one, then split.
  const int32_t total = count + 1;
  std::vector<uint8_t> entries(static_cast<size_t>(total) * size);
  std::memcpy(entries.data(), view.Entry(0), static_cast<size_t>(at) * size);
  uint8_t* slot = entries.data() + static_cast<size_t>(at) * size;
  std::memcpy(slot, key, keySize);
  std::memcpy(slot + keySize, ref, view.RefSize());
  std::memcpy(slot + size, view.Entry(at), static_cast<size_t>(count - at) * size);
  if (level == 0) {
    SplitRoot(sessionID, page, entries, total);
    return;
  }
  const int32_t lower = total / 2;
  const int32_t headerSize = kBTreeHeaderSize + view.ExtraSize();
  TQDXPageHandle right = TQDXPageHandle::Add(*pageManager_, sessionID, ptTableIndex);
  std::memset(right->Data(), 0, right->DataSize());
  std::memcpy(right->Data(), page->Data(), headerSize);
  TQDXBTreePage rightView = View(right);
  rightView.SetRoot(false);
  rightView.SetEntryCount(total - lower);
  std::memcpy(rightView.Entry(0), entries.data() + static_cast<size_t>(lower) * size,
              static_cast<size_t>(total - lower) * size);
  std::vector<uint8_t> separator(rightView.Key(0), rightView.Key(0) + keySize);
  if (!view.IsLeaf()) std::memset(rightView.Key(0), 0, keySize);
  std::memcpy(view.Entry(0), entries.data(), static_cast<size_t>(lower) * size);
  std::memset(view.Entry(lower), 0, static_cast<size_t>(count - lower) * size);
  view.SetEntryCount(lower);

  const int32_t rightNo = right->PageNo;
  rightView.SetPrevPageNo(page->PageNo);
  rightView.SetNextPageNo(view.NextPageNo());
  if (view.NextPageNo() != -1) {
    TQDXPageHandle next = GetIndexPage(sessionID, view.NextPageNo());
    View(next).SetPrevPageNo(rightNo);
    next->Dirty = true;
  }
  view.SetNextPageNo(rightNo);
  right->Dirty = true;
  NoteChanged(page->PageNo);
  NoteChanged(rightNo);
  NoteChanged(path.Levels[level - 1].PageNo);
  right.Release();
  page.Release();

  uint8_t childRef[kBTreeNodeRefSize];
  le::Store(childRef, rightNo);
  path.Levels[level - 1].EntryNo += 1;
  InsertAt(sessionID, path, level - 1, separator.data(), childRef);
}

void TQDXBTree::SplitRoot(int32_t sessionID, TQDXPageHandle& root, std::vector<uint8_t>& entries,
                          int32_t count) {
  TQDXBTreePage rootView = View(root);
  const bool leaf = rootView.IsLeaf();
  const int32_t size = rootView.EntrySize();
  const int32_t keySize = rootView.KeySize();
  const int32_t headerSize = kBTreeHeaderSize + rootView.ExtraSize();
  const int32_t lower = count / 2;

  TQDXPageHandle left = TQDXPageHandle::Add(*pageManager_, sessionID, ptTableIndex);
  TQDXPageHandle right = TQDXPageHandle::Add(*pageManager_, sessionID, ptTableIndex);
  for (TQDXPageHandle* half : {&left, &right}) {
    std::memset((*half)->Data(), 0, (*half)->DataSize());
    std::memcpy((*half)->Data(), root->Data(), headerSize);
    View(*half).SetRoot(false);
    (*half)->Dirty = true;
  }
  TQDXBTreePage leftView = View(left), rightView = View(right);
  leftView.SetPrevPageNo(-1);
  leftView.SetNextPageNo(right->PageNo);
  rightView.SetPrevPageNo(left->PageNo);
  rightView.SetNextPageNo(-1);
  leftView.SetEntryCount(lower);
  std::memcpy(leftView.Entry(0), entries.data(), static_cast<size_t>(lower) * size);
  rightView.SetEntryCount(count - lower);
  std::memcpy(rightView.Entry(0), entries.data() + static_cast<size_t>(lower) * size,
              static_cast<size_t>(count - lower) * size);
  std::vector<uint8_t> separator(rightView.Key(0), rightView.Key(0) + keySize);
  if (!leaf) std::memset(rightView.Key(0), 0, keySize);

  std::memset(root->Data() + headerSize, 0, root->DataSize() - headerSize);
  rootView.SetLeaf(false);
  rootView.SetEntryCount(2);
  rootView.SetChild(0, left->PageNo);
  std::memcpy(rootView.Key(1), separator.data(), keySize);
  rootView.SetChild(1, right->PageNo);
  root->Dirty = true;
  NoteChanged(root->PageNo);
  NoteChanged(left->PageNo);
  NoteChanged(right->PageNo);
}

// ---- deletion ----

bool TQDXBTree::DeleteEntry(int32_t sessionID, const uint8_t* key, const uint8_t* ref) {
  pageManager_->AssertDatabaseLockHeld();
  TQDXKeyPath path;
  if (!FindEntry(sessionID, key, ref, path)) return false;
  changedPages_.clear();
  RemoveAt(sessionID, path, path.LevelCount - 1);
  CheckChangedPages(sessionID);
  return true;
}

void TQDXBTree::RemoveAt(int32_t sessionID, TQDXKeyPath& path, int32_t level) {
  TQDXPageHandle page = GetIndexPage(sessionID, path.Levels[level].PageNo);
  TQDXBTreePage view = View(page);
  int32_t count = view.EntryCount();
  const int32_t at = path.Levels[level].EntryNo;
  if (count == 0) Raise(msg::kDeleteFromEmptyIndexPage);
  if (at < 0 || at >= count) Raise(msg::kIndexPageDamaged, {page->PageNo, at});
  const int32_t size = view.EntrySize();
  const int32_t keySize = view.KeySize();
  std::memmove(view.Entry(at), view.Entry(at + 1), static_cast<size_t>(count - 1 - at) * size);
  --count;
  std::memset(view.Entry(count), 0, size);
  view.SetEntryCount(count);
  if (!view.IsLeaf() && at == 0 && count > 0) std::memset(view.Key(0), 0, keySize);
  page->Dirty = true;
  path.Levels[level].EntryCount = count;

  if (level == 0) {
    if (!view.IsLeaf() && count == 1) {
      page.Release();
      CollapseRoot(sessionID);
    }
    return;
  }
  const int32_t dataSize = view.DataSize();
  if (count > 0 && count * size >= (dataSize - kBTreeHeaderSize) / 2) return;

  const int32_t pageNo = page->PageNo;
  TQDXPageHandle parent = GetIndexPage(sessionID, path.Levels[level - 1].PageNo);
  TQDXBTreePage parentView = View(parent);
  const int32_t parentAt = path.Levels[level - 1].EntryNo;
  const int32_t parentCount = parentView.EntryCount();
  if (parentAt < 0 || parentAt >= parentCount || parentView.Child(parentAt) != pageNo) {
    Raise(msg::kIndexPageDamaged, {parent->PageNo, parentAt});
  }
  auto fits = [&](int32_t siblingCount) {
    return count == 0 || kBTreeHeaderSize + (siblingCount + count) * size < dataSize;
  };
  auto relink = [&](int32_t neighbourNo, bool setNext, int32_t target) {
    if (neighbourNo == -1) return;
    TQDXPageHandle neighbour = GetIndexPage(sessionID, neighbourNo);
    if (setNext) {
      View(neighbour).SetNextPageNo(target);
    } else {
      View(neighbour).SetPrevPageNo(target);
    }
    neighbour->Dirty = true;
  };

  bool merged = false;
  if (parentAt > 0) {
    const int32_t prevNo = parentView.Child(parentAt - 1);
    TQDXPageHandle prev = GetIndexPage(sessionID, prevNo);
    TQDXBTreePage prevView = View(prev);
    const int32_t prevCount = prevView.EntryCount();
    if (fits(prevCount)) {
      NoteChanged(prevNo);
      std::memcpy(prevView.Entry(prevCount), view.Entry(0), static_cast<size_t>(count) * size);
      // The page's leftmost entry now follows others: it takes its separator.
      if (!view.IsLeaf() && count > 0) {
        std::memcpy(prevView.Key(prevCount), parentView.Key(parentAt), keySize);
      }
      prevView.SetEntryCount(prevCount + count);
      prevView.SetNextPageNo(view.NextPageNo());
      prev->Dirty = true;
      prev.Release();
      relink(view.NextPageNo(), false, prevNo);
      merged = true;
    }
  }
  if (!merged && parentAt < parentCount - 1) {
    const int32_t nextNo = parentView.Child(parentAt + 1);
    TQDXPageHandle next = GetIndexPage(sessionID, nextNo);
    TQDXBTreePage nextView = View(next);
    const int32_t nextCount = nextView.EntryCount();
    if (fits(nextCount)) {
      NoteChanged(nextNo);
      std::memmove(nextView.Entry(count), nextView.Entry(0), static_cast<size_t>(nextCount) * size);
      std::memcpy(nextView.Entry(0), view.Entry(0), static_cast<size_t>(count) * size);
      if (!view.IsLeaf() && count > 0) {
        std::memcpy(nextView.Key(count), parentView.Key(parentAt + 1), keySize);
      }
      nextView.SetEntryCount(nextCount + count);
      nextView.SetPrevPageNo(view.PrevPageNo());
      next->Dirty = true;
      next.Release();
      relink(view.PrevPageNo(), true, nextNo);
      // The next page now starts where this one did.
      std::memcpy(parentView.Key(parentAt + 1), parentView.Key(parentAt), keySize);
      parent->Dirty = true;
      merged = true;
    }
  }
  if (!merged && count == 0) {
    NoteChanged(view.PrevPageNo());
    NoteChanged(view.NextPageNo());
    relink(view.PrevPageNo(), true, view.NextPageNo());
    relink(view.NextPageNo(), false, view.PrevPageNo());
    merged = true;
  }
  if (!merged) return;
  std::memset(page->Data(), 0, page->DataSize());
  page->Dirty = true;
  NoteChanged(parent->PageNo);
  ForgetChanged(pageNo);
  page.Release();
  parent.Release();
  pageManager_->RemovePage(sessionID, pageNo);
  RemoveAt(sessionID, path, level - 1);
}

void TQDXBTree::CollapseRoot(int32_t sessionID) {
  for (int32_t depth = 0; depth < TQDXKeyPath::kMaxLevels; ++depth) {
    TQDXPageHandle root = GetIndexPage(sessionID, RootPageNo);
    TQDXBTreePage rootView = View(root);
    if (rootView.IsLeaf() || rootView.EntryCount() != 1) return;
    const int32_t childNo = rootView.Child(0);
    TQDXPageHandle child = GetIndexPage(sessionID, childNo);
    const TQDXBTreePage childView = View(child);
    const int32_t headerSize = kBTreeHeaderSize + rootView.ExtraSize();
    std::memset(root->Data() + headerSize, 0, root->DataSize() - headerSize);
    rootView.SetLeaf(childView.IsLeaf());
    std::memcpy(rootView.Entry(0), childView.Entry(0),
                static_cast<size_t>(childView.EntryCount()) * childView.EntrySize());
    rootView.SetEntryCount(childView.EntryCount());
    root->Dirty = true;
    std::memset(child->Data(), 0, child->DataSize());
    child->Dirty = true;
    NoteChanged(RootPageNo);
    ForgetChanged(childNo);
    child.Release();
    root.Release();
    pageManager_->RemovePage(sessionID, childNo);
  }
}

// ---- navigation ----

bool TQDXBTree::GoFirst(int32_t sessionID, TQDXKeyPath& path) {
  pageManager_->AssertDatabaseLockHeld();
  RequireRoot();
  path.LevelCount = 0;
  int32_t pageNo = RootPageNo;
  for (int32_t level = 0;; ++level) {
    TQDXPageHandle page = GetIndexPage(sessionID, pageNo);
    const TQDXBTreePage view = View(page);
    if (view.EntryCount() == 0) {
      if (!view.IsLeaf() || level > 0) Raise(msg::kIndexPageDamaged, {pageNo, 0});
      path.LevelCount = 0;
      return false;
    }
    PushLevel(path, level, pageNo, 0, view.EntryCount());
    if (view.IsLeaf()) return true;
    pageNo = view.Child(0);
  }
}

bool TQDXBTree::GoLast(int32_t sessionID, TQDXKeyPath& path) {
  pageManager_->AssertDatabaseLockHeld();
  RequireRoot();
  path.LevelCount = 0;
  int32_t pageNo = RootPageNo;
  for (int32_t level = 0;; ++level) {
    TQDXPageHandle page = GetIndexPage(sessionID, pageNo);
    const TQDXBTreePage view = View(page);
    const int32_t count = view.EntryCount();
    if (count == 0) {
      if (!view.IsLeaf() || level > 0) Raise(msg::kIndexPageDamaged, {pageNo, 0});
      path.LevelCount = 0;
      return false;
    }
    PushLevel(path, level, pageNo, count - 1, count);
    if (view.IsLeaf()) return true;
    pageNo = view.Child(count - 1);
  }
}

int32_t TQDXBTree::FirstLeafPageNo(int32_t sessionID) {
  pageManager_->AssertDatabaseLockHeld();
  TQDXKeyPath path;
  if (!GoFirst(sessionID, path)) return RootPageNo;
  return path.Leaf().PageNo;
}

int32_t TQDXBTree::LastLeafPageNo(int32_t sessionID) {
  pageManager_->AssertDatabaseLockHeld();
  TQDXKeyPath path;
  if (!GoLast(sessionID, path)) return RootPageNo;
  return path.Leaf().PageNo;
}

void TQDXBTree::StepPages(int32_t sessionID, TQDXKeyPath& path, int32_t fromLevel, bool forward) {
  for (int32_t level = fromLevel; level < path.LevelCount; ++level) {
    int32_t siblingNo;
    {
      TQDXPageHandle page = GetIndexPage(sessionID, path.Levels[level].PageNo);
      siblingNo = forward ? View(page).NextPageNo() : View(page).PrevPageNo();
    }
    if (siblingNo == -1) {
      Raise(forward ? msg::kNoNextSiblingPage : msg::kNoPriorSiblingPage);
    }
    TQDXPageHandle sibling = GetIndexPage(sessionID, siblingNo);
    const TQDXBTreePage siblingView = View(sibling);
    const int32_t count = siblingView.EntryCount();
    if (count == 0) Raise(msg::kIndexPageDamaged, {siblingNo, 0});
    const int32_t backLink = forward ? siblingView.PrevPageNo() : siblingView.NextPageNo();
    if (backLink != path.Levels[level].PageNo ||
        siblingView.IsLeaf() != (level + 1 == path.LevelCount)) {
      Raise(msg::kIndexLeafLinkInvalid, {siblingNo, 0});
    }
    path.Levels[level] = {siblingNo, forward ? 0 : count - 1, count};
  }
}

bool TQDXBTree::Next(int32_t sessionID, TQDXKeyPath& path) {
  pageManager_->AssertDatabaseLockHeld();
  if (path.LevelCount <= 0) Raise(msg::kIndexPathEmpty);
  int32_t level = path.LevelCount - 1;
  while (level >= 0 && path.Levels[level].EntryNo >= path.Levels[level].EntryCount - 1) --level;
  if (level < 0) return false;
  if (level == path.LevelCount - 1) {  // within the leaf
    ++path.Levels[level].EntryNo;
    return true;
  }
  const TQDXKeyPath saved = path;
  ++path.Levels[level].EntryNo;
  try {
    StepPages(sessionID, path, level + 1, true);
  } catch (...) {
    path = saved;
    throw;
  }
  return true;
}

bool TQDXBTree::Prior(int32_t sessionID, TQDXKeyPath& path) {
  pageManager_->AssertDatabaseLockHeld();
  if (path.LevelCount <= 0) Raise(msg::kIndexPositionInvalid);
  int32_t level = path.LevelCount - 1;
  while (level >= 0 && path.Levels[level].EntryNo <= 0) --level;
  if (level < 0) return false;
  if (level == path.LevelCount - 1) {  // within the leaf
    --path.Levels[level].EntryNo;
    return true;
  }
  const TQDXKeyPath saved = path;
  --path.Levels[level].EntryNo;
  try {
    StepPages(sessionID, path, level + 1, false);
  } catch (...) {
    path = saved;
    throw;
  }
  return true;
}

bool TQDXBTree::FindCondition(int32_t sessionID, bool forward, TQDXKeyPath& path, int32_t kind,
                              const uint8_t* key) {
  pageManager_->AssertDatabaseLockHeld();
  RequireRoot();
  if (key != nullptr && (kind < ckEqual || kind > ckGreaterOrEqual)) {
    Raise(msg::kIndexErrorInvalidParams);
  }
  std::vector<uint8_t> keyCopy;
  if (key != nullptr) keyCopy.assign(key, key + keyRef_->KeySize);
  path.LevelCount = 0;
  return FindConditionIn(sessionID, forward, path, 0, RootPageNo, kind,
                         key != nullptr ? keyCopy.data() : nullptr);
}

bool TQDXBTree::FindConditionIn(int32_t sessionID, bool forward, TQDXKeyPath& path, int32_t level,
                                int32_t pageNo, int32_t kind, uint8_t* key) {
  TQDXPageHandle page = GetIndexPage(sessionID, pageNo);
  const TQDXBTreePage view = View(page);
  const int32_t count = view.EntryCount();
  if (view.IsLeaf()) {
    int32_t found = -1;
    if (key == nullptr) {
      if (count > 0) found = forward ? 0 : count - 1;
    } else {
      const SearchBounds b = Bounds(sessionID, key, nullptr, view, /*exact=*/true);
      switch (kind) {
        case ckEqual:
          if (b.lower < b.upper) found = forward ? b.lower : b.upper - 1;
          break;
        case ckLess:
          if (b.lower > 0) found = forward ? 0 : b.lower - 1;
          break;
        case ckLessOrEqual:
          if (b.upper > 0) found = forward ? 0 : b.upper - 1;
          break;
        case ckGreater:
          if (b.upper < count) found = forward ? b.upper : count - 1;
          break;
        case ckGreaterOrEqual:
          if (b.lower < count) found = forward ? b.lower : count - 1;
          break;
      }
    }
    if (found < 0) return false;
    PushLevel(path, level, pageNo, found, count);
    return true;
  }
  if (count == 0) Raise(msg::kIndexPageDamaged, {pageNo, 0});
  int32_t low = 0, high = count - 1;
  if (key != nullptr) {
    const SearchBounds b = Bounds(sessionID, key, nullptr, view, /*exact=*/false);
    // Separators compare without exactness: behind a cut column, a separator "equal" to the key
    // may start a child holding entries above (or below) the key, so > and < take in the
    // children of equal separators as >= and <= do.
    const bool cut = keyRef_->HasTruncatedColumns();
    switch (kind) {
      case ckEqual:
        low = b.lower - 1;
        high = b.upper - 1;
        break;
      case ckLess:
        high = (cut ? b.upper : b.lower) - 1;
        break;
      case ckLessOrEqual:
        high = b.upper - 1;
        break;
      case ckGreater:
        low = (cut ? b.lower : b.upper) - 1;
        break;
      case ckGreaterOrEqual:
        low = b.lower - 1;
        break;
    }
  }
  const int32_t step = forward ? 1 : -1;
  for (int32_t child = forward ? low : high; child >= low && child <= high; child += step) {
    PushLevel(path, level, pageNo, child, count);
    if (FindConditionIn(sessionID, forward, path, level + 1, view.Child(child), kind, key)) {
      return true;
    }
  }
  path.LevelCount = level;
  return false;
}

void TQDXBTree::ReadEntry(int32_t sessionID, const TQDXKeyPath& path, uint8_t* key, uint8_t* ref) {
  pageManager_->AssertDatabaseLockHeld();
  if (path.LevelCount <= 0) Raise(msg::kIndexPathEmpty);
  TQDXPageHandle page = GetIndexPage(sessionID, path.Leaf().PageNo);
  const TQDXBTreePage view = View(page);
  const int32_t i = path.Leaf().EntryNo;
  if (!view.IsLeaf() || i < 0 || i >= view.EntryCount()) {
    Raise(msg::kIndexPositionInvalid);
  }
  if (key != nullptr) std::memcpy(key, view.Key(i), keyRef_->KeySize);
  if (ref != nullptr) std::memcpy(ref, view.Ref(i), keyRef_->LeafRefSize);
}

void TQDXBTree::WriteRef(int32_t sessionID, const TQDXKeyPath& path, const uint8_t* ref) {
  pageManager_->AssertDatabaseLockHeld();
  if (path.LevelCount <= 0) Raise(msg::kIndexPathEmpty);
  TQDXPageHandle page = GetIndexPage(sessionID, path.Leaf().PageNo);
  const TQDXBTreePage view = View(page);
  const int32_t i = path.Leaf().EntryNo;
  if (!view.IsLeaf() || i < 0 || i >= view.EntryCount()) {
    Raise(msg::kIndexPositionInvalid);
  }
  std::memcpy(view.Ref(i), ref, keyRef_->LeafRefSize);
  page->Dirty = true;
}

// ---- integrity ----

void TQDXBTree::CheckIntegrity(int32_t sessionID, bool leavesOnly) {
  pageManager_->AssertDatabaseLockHeld();
  RequireRoot();
  const int32_t keySize = keyRef_->KeySize;
  std::unordered_set<int32_t> seen;
  // Pages of one level in link order, each with the separator that bounds it from below (empty
  // for the leftmost page of the tree).
  struct Bounded {
    int32_t pageNo;
    std::vector<uint8_t> bound;
  };
  std::vector<Bounded> levelPages;
  if (leavesOnly) {
    levelPages.push_back({FirstLeafPageNo(sessionID), {}});
  } else {
    levelPages.push_back({RootPageNo, {}});
  }
  std::vector<uint8_t> previousKey(keySize), previousRef(keyRef_->LeafRefSize);
  for (int32_t depth = 0; depth < TQDXKeyPath::kMaxLevels; ++depth) {
    if (leavesOnly) {
      // Follow the links from the first leaf.
      for (size_t i = 0;; ++i) {
        TQDXPageHandle page = GetIndexPage(sessionID, levelPages[i].pageNo);
        const int32_t next = View(page).NextPageNo();
        if (next == -1) break;
        if (!seen.insert(next).second) {
          Raise(msg::kIndexCircularLinks, {next, 0});
        }
        levelPages.push_back({next, {}});
      }
    }
    std::vector<Bounded> below;
    bool leafLevel = false;
    bool havePrevious = false;
    for (size_t i = 0; i < levelPages.size(); ++i) {
      const int32_t pageNo = levelPages[i].pageNo;
      if (!leavesOnly && !seen.insert(pageNo).second) {
        Raise(msg::kIndexCircularLinks, {pageNo, 0});
      }
      TQDXPageHandle page = GetIndexPage(sessionID, pageNo);
      TQDXBTreePage view = View(page);
      const int32_t count = view.EntryCount();
      const int32_t expectPrev = i == 0 ? -1 : levelPages[i - 1].pageNo;
      const int32_t expectNext = i + 1 == levelPages.size() ? -1 : levelPages[i + 1].pageNo;
      if (view.PrevPageNo() != expectPrev || view.NextPageNo() != expectNext) {
        Raise(msg::kIndexLeafLinkInvalid, {pageNo, static_cast<int32_t>(i)});
      }
      if (i == 0) leafLevel = view.IsLeaf();
      const bool isRootPage = pageNo == RootPageNo;
      if (view.IsLeaf() != leafLevel || view.IsRoot() != isRootPage ||
          (count == 0 && !isRootPage)) {
        Raise(msg::kIndexPageDamaged, {pageNo, 0});
      }
      if (!levelPages[i].bound.empty() && count > 0 &&
          keyRef_->CompareKeys(levelPages[i].bound.data(), view.Key(view.IsLeaf() ? 0 : 1), nullptr,
                               nullptr, sessionID, false) > 0 &&
          view.IsLeaf()) {
        Raise(msg::kIndexKeyOrderBroken, {pageNo, 0});
      }
      if (view.IsLeaf()) {
        for (int32_t e = 0; e < count; ++e) {
          if (havePrevious) {
            int c = keyRef_->CompareKeys(previousKey.data(), view.Key(e), view.Ref(e),
                                         keyRef_->RefIsRecordID ? previousRef.data() : nullptr,
                                         sessionID, true);
            if (c == 0 && keyRef_->RefIsRecordID && !keyRef_->HasTruncatedColumns()) {
              c = CompareRecordIDBytes(previousRef.data(), view.Ref(e)) < 0 ? -1 : 1;
            }
            if (c > 0) Raise(msg::kIndexKeyOrderBroken, {pageNo, e});
          }
          std::memcpy(previousKey.data(), view.Key(e), keySize);
          std::memcpy(previousRef.data(), view.Ref(e), keyRef_->LeafRefSize);
          havePrevious = true;
        }
        // A separator above the next leaf must not be below this leaf's last key.
        if (i + 1 < levelPages.size() && !levelPages[i + 1].bound.empty() && count > 0 &&
            keyRef_->CompareKeys(view.Key(count - 1), levelPages[i + 1].bound.data(), nullptr,
                                 nullptr, sessionID, false) > 0) {
          Raise(msg::kIndexKeyOrderBroken, {pageNo, count - 1});
        }
        continue;
      }
      for (int32_t e = 0; e < count; ++e) {
        if (e >= 2 && keyRef_->CompareKeys(view.Key(e - 1), view.Key(e), nullptr, nullptr,
                                           sessionID, false) > 0) {
          Raise(msg::kIndexKeyOrderBroken, {pageNo, e});
        }
        std::vector<uint8_t> bound =
            e == 0 ? levelPages[i].bound : std::vector<uint8_t>(view.Key(e), view.Key(e) + keySize);
        below.push_back({view.Child(e), std::move(bound)});
      }
    }
    if (leafLevel || leavesOnly) return;
    levelPages = std::move(below);
  }
  Raise(msg::kIndexPageDamaged, {RootPageNo, 0});
}

}  // namespace qdx
