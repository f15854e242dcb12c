#include "engine/core/shared_page_list.h"

#include <algorithm>
#include <cassert>

#include "engine/core/page.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {
namespace {

constexpr size_t kMinimumSlots = 64;

}  // namespace

size_t TQDXSharedPageList::Home(int32_t pageNo) const {
  // Fibonacci hashing: page numbers come in runs, which the multiplication spreads.
  const uint32_t hash = static_cast<uint32_t>(pageNo) * 0x9E3779B1u;
  return static_cast<size_t>(hash) & (slots_.size() - 1);
}

size_t TQDXSharedPageList::Probe(int32_t pageNo) const {
  const size_t mask = slots_.size() - 1;
  size_t slot = Home(pageNo);
  while (slots_[slot].page != nullptr && slots_[slot].pageNo != pageNo) slot = (slot + 1) & mask;
  return slot;
}

TQDXPage* TQDXSharedPageList::Find(int32_t pageNo) const {
  if (count_ == 0) return nullptr;
  return slots_[Probe(pageNo)].page;
}

void TQDXSharedPageList::Rehash(size_t capacity) {
  std::vector<Slot> old(capacity, Slot{0, nullptr});
  old.swap(slots_);
  for (const Slot& entry : old) {
    if (entry.page != nullptr) slots_[Probe(entry.pageNo)] = entry;
  }
}

void TQDXSharedPageList::Add(TQDXPage* page) {
  if (2 * (static_cast<size_t>(count_) + 1) > slots_.size()) {
    Rehash(std::max(kMinimumSlots, 2 * slots_.size()));
  }
  const size_t slot = Probe(page->PageNo);
  assert(slots_[slot].page == nullptr && "the shared list holds this page number already");
  slots_[slot] = {page->PageNo, page};
  ++count_;
  order_.LinkNewest(page);
}

void TQDXSharedPageList::EraseSlot(size_t slot) {
  // Shifts back every entry of the probe run behind the freed slot that may live there, so that
  // no probe stops early at the hole.
  const size_t mask = slots_.size() - 1;
  size_t hole = slot;
  for (size_t next = (hole + 1) & mask; slots_[next].page != nullptr; next = (next + 1) & mask) {
    const size_t home = Home(slots_[next].pageNo);
    // The entry may move to the hole when its home does not lie cyclically in (hole, next].
    const bool homeAfterHole = ((next - home) & mask) < ((next - hole) & mask);
    if (!homeAfterHole) {
      slots_[hole] = slots_[next];
      hole = next;
    }
  }
  slots_[hole] = {0, nullptr};
}

void TQDXSharedPageList::Delete(int32_t pageNo) {
  if (count_ == 0) Raise(msg::kSortedPageListEmpty);
  const size_t slot = Probe(pageNo);
  TQDXPage* page = slots_[slot].page;
  if (page == nullptr) Raise(msg::kSortedPageListKeyNotFound, {pageNo, count_});
  order_.Unlink(page);
  EraseSlot(slot);
  --count_;
}

void TQDXSharedPageList::Touch(TQDXPage* page) {
  if (Find(page->PageNo) != page) Raise(msg::kPageNotFound);
  order_.MoveToNewest(page);
}

std::vector<TQDXPage*> TQDXSharedPageList::Pages() const {
  std::vector<TQDXPage*> pages;
  pages.reserve(static_cast<size_t>(count_));
  ForEach([&](TQDXPage* page) { pages.push_back(page); });
  return pages;
}

void TQDXSharedPageList::Clear() {
  // The pages may already be destroyed: forget them without touching them.
  slots_ = {};
  count_ = 0;
  order_.Clear();
}

}  // namespace qdx
