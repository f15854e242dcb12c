// TQDXPageUseOrder: the pages of one list linked in order of use, least recently used first.
//
// The links live in the pages themselves, so that moving a page to the newest end and finding
// the oldest are constant time. A page is in at most one list at a time; the page cache's
// shared list and the sorted lists both keep their pages in this order.
#pragma once

#include "engine/core/page.h"

namespace qdx {

class TQDXPageUseOrder {
 public:
  TQDXPage* Oldest() const { return oldest_; }
  TQDXPage* Newest() const { return newest_; }
  static TQDXPage* Newer(const TQDXPage* page) { return page->newerInList_; }

  void LinkNewest(TQDXPage* page) {
    page->olderInList_ = newest_;
    page->newerInList_ = nullptr;
    (newest_ != nullptr ? newest_->newerInList_ : oldest_) = page;
    newest_ = page;
  }
  void Unlink(TQDXPage* page) {
    (page->olderInList_ != nullptr ? page->olderInList_->newerInList_ : oldest_) =
        page->newerInList_;
    (page->newerInList_ != nullptr ? page->newerInList_->olderInList_ : newest_) =
        page->olderInList_;
    page->olderInList_ = page->newerInList_ = nullptr;
  }
  void MoveToNewest(TQDXPage* page) {
    if (newest_ == page) return;
    Unlink(page);
    LinkNewest(page);
  }
  // Forgets the pages without touching them (they may be destroyed already); a page's own
  // links are rewritten when a list adds it again.
  void Clear() { oldest_ = newest_ = nullptr; }

 private:
  TQDXPage* oldest_ = nullptr;
  TQDXPage* newest_ = nullptr;
};

}  // namespace qdx
