#include "engine/core/sorted_page_list.h"

#include <algorithm>

#include "engine/core/page.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

int32_t TQDXSortedPageList::IndexOf(int32_t pageNo) const {
  // A page is mostly looked up several times in a row (fetched, read entry by entry, put back):
  // the last position found answers those without a search. Numbers are unique, so a position
  // that still holds the number is its position whatever changed since.
  const auto hint = static_cast<size_t>(hint_);
  if (hint < keys_.size() && keys_[hint] == pageNo) return hint_;
  auto it = std::lower_bound(keys_.begin(), keys_.end(), pageNo);
  if (it == keys_.end() || *it != pageNo) return -1;
  hint_ = static_cast<int32_t>(it - keys_.begin());
  return hint_;
}

TQDXPage* TQDXSortedPageList::Find(int32_t pageNo) const {
  const int32_t index = IndexOf(pageNo);
  return index < 0 ? nullptr : Page(index);
}

void TQDXSortedPageList::GrowFor(int32_t newCount) {
  if (newCount <= capacity_) return;
  growStep_ = std::min(growStep_ * 2, kStepLimit);
  capacity_ = std::max(newCount, capacity_ + growStep_);
  keys_.reserve(static_cast<size_t>(capacity_));
  entries_.reserve(static_cast<size_t>(capacity_));
}

void TQDXSortedPageList::ShrinkFor(int32_t newCount) {
  if (newCount == 0) {
    keys_ = {};
    entries_ = {};
    capacity_ = 0;
    return;
  }
  if (capacity_ - newCount <= shrinkStep_) return;
  shrinkStep_ = std::min(shrinkStep_ * 2, kStepLimit);
  capacity_ = newCount;
  keys_.shrink_to_fit();
  entries_.shrink_to_fit();
  // shrink_to_fit is a request; the capacity the list reports is the one it asked for.
  keys_.reserve(static_cast<size_t>(capacity_));
  entries_.reserve(static_cast<size_t>(capacity_));
}

void TQDXSortedPageList::Add(TQDXPage* page) {
  GrowFor(Count() + 1);
  auto it = std::upper_bound(keys_.begin(), keys_.end(), page->PageNo);
  const auto index = it - keys_.begin();
  keys_.insert(it, page->PageNo);
  entries_.insert(entries_.begin() + index, Entry{page, NextStamp()});
  order_.LinkNewest(page);
}

void TQDXSortedPageList::Delete(int32_t pageNo) {
  if (keys_.empty()) Raise(msg::kSortedPageListEmpty);
  const int32_t index = IndexOf(pageNo);
  if (index < 0) Raise(msg::kSortedPageListKeyNotFound, {pageNo, Count()});
  order_.Unlink(Page(index));
  keys_.erase(keys_.begin() + index);
  entries_.erase(entries_.begin() + index);
  ShrinkFor(Count());
}

void TQDXSortedPageList::DeleteFirst(int32_t count) {
  count = std::clamp(count, 0, Count());
  for (int32_t i = 0; i < count; ++i) order_.Unlink(Page(i));
  keys_.erase(keys_.begin(), keys_.begin() + count);
  entries_.erase(entries_.begin(), entries_.begin() + count);
  ShrinkFor(Count());
}

void TQDXSortedPageList::Touch(TQDXPage* page) {
  const int32_t index = IndexOf(page->PageNo);
  if (index < 0 || Page(index) != page) Raise(msg::kPageNotFound);
  entries_[static_cast<size_t>(index)].stamp = NextStamp();
  order_.MoveToNewest(page);
}

TQDXPage* TQDXSortedPageList::Oldest() const {
  return order_.Oldest();
}

void TQDXSortedPageList::Clear() {
  // The pages may already be destroyed: forget them without touching them.
  order_.Clear();
  ShrinkFor(0);
}

}  // namespace qdx
