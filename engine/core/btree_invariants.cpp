// The B-tree's stated invariants, checked in debug builds on the pages a split or a merge
// changed, as soon as the insert or delete that changed them is done: the whole tree is
// CheckIntegrity's, which a repair runs; these look only where the tree moved.
#include <algorithm>
#include <string>
#include <vector>

#include "engine/core/btree.h"
#include "engine/core/page_handle.h"
#include "engine/foundation/invariants.h"

namespace qdx {

namespace {

std::string AtPage(int32_t pageNo, const char* what) {
  return "B-tree page " + std::to_string(pageNo) + ": " + what;
}

}  // namespace

void TQDXBTree::NoteChanged(int32_t pageNo) {
  if constexpr (kCheckInvariants) {
    if (pageNo >= 0 && std::find(changedPages_.begin(), changedPages_.end(), pageNo) ==
                           changedPages_.end()) {
      changedPages_.push_back(pageNo);
    }
  }
}

void TQDXBTree::ForgetChanged(int32_t pageNo) {
  if constexpr (kCheckInvariants) std::erase(changedPages_, pageNo);
}

void TQDXBTree::CheckChangedPages(int32_t sessionID) {
  if constexpr (!kCheckInvariants) return;
  const std::vector<int32_t> pages = std::exchange(changedPages_, {});
  for (const int32_t pageNo : pages) {
    TQDXPageHandle page = GetIndexPage(sessionID, pageNo);
    TQDXBTreePage view = View(page);
    CheckPageEntries(sessionID, pageNo, view);
    if (!view.IsLeaf()) CheckChildren(sessionID, pageNo, view);
  }
}

void TQDXBTree::CheckPageEntries(int32_t sessionID, int32_t pageNo, TQDXBTreePage& view) {
  const bool isRoot = pageNo == RootPageNo;
  const int32_t count = view.EntryCount();
  RequireInvariant(view.IsRoot() == isRoot, AtPage(pageNo, "root flag"));
  RequireInvariant(count > 0 || (isRoot && view.IsLeaf()), AtPage(pageNo, "empty page"));
  RequireInvariant(view.IsLeaf() || count > 1 || !isRoot, AtPage(pageNo, "root of one child"));
  if (view.NextPageNo() != -1) {
    TQDXPageHandle next = GetIndexPage(sessionID, view.NextPageNo());
    RequireInvariant(View(next).PrevPageNo() == pageNo, AtPage(pageNo, "next page's link back"));
  }
  if (view.PrevPageNo() != -1) {
    TQDXPageHandle prev = GetIndexPage(sessionID, view.PrevPageNo());
    RequireInvariant(View(prev).NextPageNo() == pageNo, AtPage(pageNo, "prior page's link on"));
  }
  // A node's first key is empty: its lower bound is the parent's separator.
  for (int32_t e = view.IsLeaf() ? 1 : 2; e < count; ++e) {
    int order;
    if (view.IsLeaf()) {
      order = keyRef_->CompareKeys(view.Key(e - 1), view.Key(e), view.Ref(e),
                                   keyRef_->RefIsRecordID ? view.Ref(e - 1) : nullptr, sessionID,
                                   true);
      if (order == 0 && keyRef_->RefIsRecordID && !keyRef_->HasTruncatedColumns()) {
        order = CompareRecordIDBytes(view.Ref(e - 1), view.Ref(e)) < 0 ? -1 : 1;
      }
    } else {
      order = keyRef_->CompareKeys(view.Key(e - 1), view.Key(e), nullptr, nullptr, sessionID,
                                   false);
    }
    RequireInvariant(order <= 0, AtPage(pageNo, "keys out of order"));
  }
}

void TQDXBTree::CheckChildren(int32_t sessionID, int32_t pageNo, TQDXBTreePage& view) {
  const int32_t count = view.EntryCount();
  const int32_t keySize = keyRef_->KeySize;
  std::vector<uint8_t> bound(static_cast<size_t>(keySize));
  bool childrenAreLeaves = false;
  for (int32_t e = 0; e < count; ++e) {
    TQDXPageHandle child = GetIndexPage(sessionID, view.Child(e));
    TQDXBTreePage childView = View(child);
    const int32_t childCount = childView.EntryCount();
    if (e == 0) childrenAreLeaves = childView.IsLeaf();
    RequireInvariant(childView.IsLeaf() == childrenAreLeaves && !childView.IsRoot(),
                     AtPage(view.Child(e), "child on the wrong level"));
    if (e + 1 < count) {
      RequireInvariant(childView.NextPageNo() == view.Child(e + 1),
                       AtPage(pageNo, "children not linked in order"));
    }
    if (!childView.IsLeaf() || childCount == 0) continue;
    // The separators around a leaf bound its keys, as a search relies on.
    if (e > 0) {
      std::copy_n(view.Key(e), keySize, bound.begin());
      RequireInvariant(keyRef_->CompareKeys(bound.data(), childView.Key(0), nullptr, nullptr,
                                            sessionID, false) <= 0,
                       AtPage(view.Child(e), "key below its separator"));
    }
    if (e + 1 < count) {
      RequireInvariant(keyRef_->CompareKeys(childView.Key(childCount - 1), view.Key(e + 1),
                                            nullptr, nullptr, sessionID, false) <= 0,
                       AtPage(view.Child(e), "key above the next separator"));
    }
  }
}

}  // namespace qdx
