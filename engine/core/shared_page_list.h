// TQDXSharedPageList: the page cache's shared list, the clean pages of all sessions.
//
// The cache looks a page up on every GetPage and adds, touches and evicts one on nearly every
// read from storage, so each of those is constant time: an open-addressing table by page number
// (linear probing, at most half full, deletion by shifting the entries behind back) and the
// pages linked in order of use, so that the least recently used is found at once when the cache
// evicts. No order by page number is kept: nothing walks the shared list in that order.
//
// The list never owns its pages and never holds two pages of one number (its owner keeps that
// rule; debug builds check it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/core/page_use_order.h"

namespace qdx {

class TQDXSharedPageList {
 public:
  int32_t Count() const { return count_; }

  // The page of number `pageNo`, or null.
  TQDXPage* Find(int32_t pageNo) const;
  // Adds the page as the most recently used. The list must not hold its number yet.
  void Add(TQDXPage* page);
  // Removes the page of number `pageNo`: 20165 on an empty list, 20166 when it is not held.
  void Delete(int32_t pageNo);
  // Makes a held page the most recently used; 20167 "Page not found" when it is not held.
  void Touch(TQDXPage* page);
  // The least recently added or touched page; null when empty.
  TQDXPage* Oldest() const { return order_.Oldest(); }
  // The pages, least recently used first.
  std::vector<TQDXPage*> Pages() const;
  // Calls `visit` for every page, least recently used first; `visit` must not change the list.
  template <typename Visit>
  void ForEach(Visit visit) const;
  // Forgets all pages without destroying them.
  void Clear();

 private:
  struct Slot {
    int32_t pageNo;
    TQDXPage* page;  // null: the slot is free
  };

  size_t Home(int32_t pageNo) const;
  // The slot holding `pageNo`, or the free slot where the probe for it ends.
  size_t Probe(int32_t pageNo) const;
  void Rehash(size_t capacity);
  void EraseSlot(size_t slot);

  std::vector<Slot> slots_;  // a power of two in size, or empty
  int32_t count_ = 0;
  TQDXPageUseOrder order_;
};

template <typename Visit>
void TQDXSharedPageList::ForEach(Visit visit) const {
  for (TQDXPage* page = order_.Oldest(); page != nullptr; page = TQDXPageUseOrder::Newer(page)) {
    visit(page);
  }
}

}  // namespace qdx
