// TQDXSortedPageList: pages ordered by page number, each with a use stamp; the page cache's
// shared list and each session's dirty list.
//
// Lookups try the last position found, then search an array of page numbers in binary steps;
// a parallel array holds the page and its stamp. Stamps come from a 64-bit counter, so the
// oldest stamp is the least recently added or touched page; the pages are also linked in stamp
// order, so that the oldest is found at once when the cache evicts. The arrays grow and shrink
// in steps that start at 1000 entries and double up to 10000, so that adding pages does not
// reallocate on each call.
//
// The list never owns its pages; it must never hold two pages of one number (its owner keeps
// that rule).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/core/page_use_order.h"

namespace qdx {

class TQDXSortedPageList {
 public:
  static constexpr int32_t kInitialStep = 1000;
  static constexpr int32_t kStepLimit = 10000;

  int32_t Count() const { return static_cast<int32_t>(keys_.size()); }
  int32_t Capacity() const { return capacity_; }
  TQDXPage* Page(int32_t index) const { return entries_[static_cast<size_t>(index)].page; }
  uint64_t Stamp(int32_t index) const { return entries_[static_cast<size_t>(index)].stamp; }

  // The page of number `pageNo`, or null.
  TQDXPage* Find(int32_t pageNo) const;
  // The position of `pageNo`, or -1.
  int32_t IndexOf(int32_t pageNo) const;
  // Inserts the page after every page of a lower or equal number, with a new stamp.
  void Add(TQDXPage* page);
  // Removes the page of number `pageNo`: 20165 on an empty list, 20166 when it is not held.
  void Delete(int32_t pageNo);
  // Removes the first `count` pages.
  void DeleteFirst(int32_t count);
  // Gives a held page a new stamp; 20167 "Page not found" when it is not held.
  void Touch(TQDXPage* page);
  // The page with the smallest stamp (the first in number order on ties); null when empty.
  TQDXPage* Oldest() const;
  // Forgets all pages without destroying them.
  void Clear();

 private:
  struct Entry {
    TQDXPage* page;
    uint64_t stamp;
  };

  uint64_t NextStamp() { return ++stampCounter_; }
  void GrowFor(int32_t newCount);
  void ShrinkFor(int32_t newCount);

  std::vector<int32_t> keys_;
  std::vector<Entry> entries_;
  int32_t capacity_ = 0;
  int32_t growStep_ = kInitialStep;
  int32_t shrinkStep_ = kInitialStep;
  uint64_t stampCounter_ = 0;
  mutable int32_t hint_ = 0;  // the last position IndexOf found; checked before use
  TQDXPageUseOrder order_;
};

}  // namespace qdx
