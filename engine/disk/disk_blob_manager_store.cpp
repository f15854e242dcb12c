#include "engine/disk/disk_blob_manager_store.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/core/page_handle.h"
#include "engine/disk/blob_page.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"

namespace qdx {

namespace {

[[noreturn]] void RaiseBadList(const TQDXLargeBlobHead& head, int32_t pageDataSize) {
  Raise(msg::kDamagedBlobPageList,
        {head.Header.DataLength, head.List.Count, head.List.Offset, pageDataSize});
}

// The pages of the file, the bound of a value's page list. The count is read from the header
// under the database lock, which another process's commit holds for a moment: in the database
// file the lock is waited for as commits wait for it (it nests, so the count's own lock is had at
// once); a lock that stays taken still ends in the count's error.
int32_t PageCountBound(TQDXPageManager& pages) {
  if (auto* disk = dynamic_cast<TQDXDiskPageManager*>(&pages)) {
    const TQDXDatabaseLockGuard lock(disk->LockBytes(), TQDXDatabaseLockGuard::Wait::WithRetry);
    return disk->GetPageCount();
  }
  return pages.GetPageCount();
}

TQDXPageHandle GetBlobPage(TQDXPageManager& pages, int32_t sessionID, int32_t pageNo) {
  return TQDXPageHandle::Get(pages, sessionID, pageNo, /*synchronize=*/true, ptTableBlob);
}

// Runs `first`, and `second` when the first fails; the first failure is the one reported when
// both fail (it is what the page's shape made most likely).
template <typename First, typename Second>
auto EitherWay(First first, Second second) {
  try {
    return first();
  } catch (const EQDXException&) {
    try {
      return second();
    } catch (const EQDXException&) {
    }
    throw;
  }
}

// Reads, deletes or lists a value the way its reference's ID asks (BlobReadOrder).
template <typename Small, typename Large>
auto ByOrder(TQDXBlobReadOrder order, Small small, Large large) {
  switch (order) {
    case TQDXBlobReadOrder::Small:
      return small();
    case TQDXBlobReadOrder::Large:
      return large();
    case TQDXBlobReadOrder::LargeThenSmall:
      return EitherWay(large, small);
    case TQDXBlobReadOrder::SmallThenLarge:
      break;
  }
  return EitherWay(small, large);
}

}  // namespace

std::vector<int32_t> TQDXLargeBlobPages::OwnedPages() const {
  std::vector<int32_t> owned = DataPages;
  // The list's first page is the last data page unless the list starts a new page.
  const size_t shared = Plan.ListInNewPage ? 0 : 1;
  owned.insert(owned.end(),
               ListPages.begin() + static_cast<std::ptrdiff_t>(std::min(shared, ListPages.size())),
               ListPages.end());
  return owned;
}

// ---- Writing ----------------------------------------------------------------------------------

TQDXBlobRef TQDXDiskBlobStore::Write(int32_t sessionID, int32_t uncompressedSize,
                                     int64_t storedSize, std::span<const uint8_t> data) {
  const auto length = static_cast<int64_t>(data.size());
  if (IsSmallBlobValue(length, PageDataSize())) {
    return WriteSmall(sessionID, uncompressedSize, storedSize, data);
  }
  return WriteLarge(sessionID, uncompressedSize, storedSize, data);
}

TQDXBlobRef TQDXDiskBlobStore::WriteSmall(int32_t sessionID, int32_t uncompressedSize,
                                          int64_t storedSize, std::span<const uint8_t> data) {
  const auto needed = static_cast<int32_t>(BlobEntrySize(static_cast<int64_t>(data.size())));
  TQDXKeyPath listed;
  const int32_t found = index_->FindPageWithRoom(sessionID, needed, &listed);
  TQDXPageHandle page = found >= 0 ? GetBlobPage(*pages_, sessionID, found)
                                   : TQDXPageHandle::Add(*pages_, sessionID, ptTableBlob);
  TQDXSmallBlobPage view(*page);
  // The index's figure only matters for the message of a page that turns out full.
  const bool fits = view.EntriesEnd() + static_cast<int64_t>(needed) <= view.DataSize();
  const int32_t roomInIndex = fits || found < 0 ? 0 : IndexedUsage(sessionID, found);
  const int16_t id = view.AddEntry(uncompressedSize, storedSize, data, roomInIndex);
  page->Dirty = true;
  const int32_t pageNo = page->PageNo;
  page.Release();
  // Adding the entry to the page leaves the BLOB page index as it was.
  index_->AddToPage(sessionID, pageNo, needed, found >= 0 ? &listed : nullptr);
  return {pageNo, id};
}

int32_t TQDXDiskBlobStore::IndexedUsage(int32_t sessionID, int32_t pageNo) {
  TQDXKeyPath path;
  return index_->FindPage(sessionID, pageNo, path) ? index_->GetValue(sessionID, path) : 0;
}

TQDXBlobRef TQDXDiskBlobStore::WriteLarge(int32_t sessionID, int32_t uncompressedSize,
                                          int64_t storedSize, std::span<const uint8_t> data) {
  TQDXBlobValueHeader header;
  header.BlobID = kLargeBlobID;
  header.UncompressedSize = uncompressedSize;
  header.DataLength = static_cast<int64_t>(data.size());
  header.StoredSize = storedSize;
  std::vector<int32_t> added;
  try {
    return {WriteLargePages(sessionID, header, data, added), kLargeBlobID};
  } catch (...) {
    // The pages written so far would otherwise stay allocated in the session's changes with
    // nothing naming them.
    for (int32_t pageNo : added) {
      try {
        pages_->RemovePage(sessionID, pageNo);
      } catch (...) {  // the first failure is the one to report
      }
    }
    throw;
  }
}

int32_t TQDXDiskBlobStore::WriteLargePages(int32_t sessionID, const TQDXBlobValueHeader& header,
                                           std::span<const uint8_t> data,
                                           std::vector<int32_t>& added) {
  const int32_t pageDataSize = PageDataSize();
  const TQDXLargeBlobPlan plan = PlanLargeBlob(header.DataLength, pageDataSize);
  auto addPage = [&] {
    TQDXPageHandle page = TQDXPageHandle::Add(*pages_, sessionID, ptTableBlob);
    added.push_back(page->PageNo);
    return page;
  };

  // The header page stays held until its page list reference is known; `last` is the page the
  // list starts in when that is the last data page.
  TQDXPageHandle headerPage = addPage();
  TQDXPageHandle last;
  TQDXPage* tail = headerPage.get();
  size_t done = 0;
  for (int32_t i = 0; i < plan.DataPageCount; ++i) {
    TQDXPageHandle page;
    TQDXPage* target = headerPage.get();
    if (i > 0) {
      page = addPage();
      target = page.get();
    }
    const int32_t offset = i == 0 ? kLargeBlobDataOffset : 0;
    const size_t count = std::min(data.size() - done, static_cast<size_t>(pageDataSize - offset));
    if (count > 0) std::memcpy(target->Data() + offset, data.data() + done, count);
    done += count;
    target->Dirty = true;
    if (i > 0 && i == plan.DataPageCount - 1) {
      last = std::move(page);
      tail = last.get();
    }
  }

  std::vector<uint8_t> list(static_cast<size_t>(plan.ListSize));
  for (size_t i = 0; i < added.size(); ++i) le::Store<int32_t>(list.data() + 4 * i, added[i]);

  TQDXPageHandle listPage;
  if (plan.ListInNewPage) {
    listPage = addPage();
    tail->SetNextPageNo(listPage->PageNo);
    tail = listPage.get();
  }
  const int32_t firstListPageNo = tail->PageNo;
  int64_t written = 0;
  for (int32_t i = 0; written < plan.ListSize; ++i) {
    if (i > 0) {
      TQDXPageHandle next = addPage();
      tail->SetNextPageNo(next->PageNo);
      tail->Dirty = true;
      listPage = std::move(next);
      tail = listPage.get();
    }
    const TQDXBlobListSegment segment =
        BlobPageListSegment(plan.ListOffset, plan.ListSize, i, pageDataSize);
    std::memcpy(tail->Data() + segment.Offset, list.data() + written,
                static_cast<size_t>(segment.Size));
    written += segment.Size;
    tail->Dirty = true;
  }

  TQDXLargeBlobHead head{
      header, {firstListPageNo, static_cast<uint16_t>(plan.ListOffset), plan.DataPageCount}};
  head.Encode(headerPage->DataArea());
  headerPage->Dirty = true;
  const int32_t headerPageNo = headerPage->PageNo;
  listPage.Release();
  last.Release();
  headerPage.Release();
  return headerPageNo;
}

// ---- Reading ----------------------------------------------------------------------------------

TQDXBlobReadOrder TQDXDiskBlobStore::ReadOrder(int32_t sessionID, TQDXBlobRef ref) {
  if (!ref.IsAmbiguous()) return BlobReadOrder(ref.BlobID, {});
  TQDXPageHandle page = GetBlobPage(*pages_, sessionID, ref.PageNo);
  return BlobReadOrder(ref.BlobID, page->DataArea());
}

std::optional<TQDXStoredBlobValue> TQDXDiskBlobStore::Read(int32_t sessionID, TQDXBlobRef ref) {
  if (!ref.HasValue()) return std::nullopt;
  auto small = [&] {
    std::optional<TQDXStoredBlobValue> value = ReadSmall(sessionID, ref);
    if (!value && ref.IsAmbiguous()) Raise(msg::kCannotFindBlobField);
    return value;
  };
  auto large = [&] { return std::optional<TQDXStoredBlobValue>(ReadLarge(sessionID, ref.PageNo)); };
  return ByOrder(ReadOrder(sessionID, ref), small, large);
}

std::optional<TQDXStoredBlobValue> TQDXDiskBlobStore::ReadSmall(int32_t sessionID,
                                                                TQDXBlobRef ref) {
  TQDXPageHandle page = GetBlobPage(*pages_, sessionID, ref.PageNo);
  const TQDXSmallBlobPage view(*page);
  const std::optional<TQDXSmallBlobPage::Entry> entry = view.ReadEntry(ref.BlobID);
  if (!entry) return std::nullopt;
  return TQDXStoredBlobValue{entry->Header.UncompressedSize,
                             entry->Header.StoredSize,
                             {entry->Data.begin(), entry->Data.end()}};
}

TQDXLargeBlobPages TQDXDiskBlobStore::ReadLargePages(int32_t sessionID, int32_t headerPageNo) {
  const int32_t pageDataSize = PageDataSize();
  TQDXLargeBlobPages layout;
  {
    TQDXPageHandle page = GetBlobPage(*pages_, sessionID, headerPageNo);
    layout.Head = TQDXLargeBlobHead::Decode(page->DataArea());
  }
  const TQDXLargeBlobHead& head = layout.Head;
  head.Check(pageDataSize);
  layout.Plan = PlanLargeBlob(head.Header.DataLength, pageDataSize);
  const TQDXLargeBlobPlan& plan = layout.Plan;
  // The list lies right behind the data; a value cannot have more pages than the file.
  const int32_t pageCount = PageCountBound(*pages_);
  if (head.List.Offset != plan.ListOffset ||
      static_cast<int64_t>(plan.DataPageCount) + plan.NewListPageCount > pageCount) {
    RaiseBadList(head, pageDataSize);
  }
  auto checkPageNo = [&](int32_t pageNo) {
    if (pageNo <= 0 || pageNo >= pageCount) RaiseBadList(head, pageDataSize);
  };

  std::vector<uint8_t> list(static_cast<size_t>(plan.ListSize));
  int64_t gathered = 0;
  int32_t pageNo = head.List.FirstPageNo;
  for (int32_t i = 0; i < plan.ListPageCount; ++i) {
    checkPageNo(pageNo);
    layout.ListPages.push_back(pageNo);
    TQDXPageHandle page = GetBlobPage(*pages_, sessionID, pageNo);
    const TQDXBlobListSegment segment =
        BlobPageListSegment(head.List.Offset, plan.ListSize, i, pageDataSize);
    std::memcpy(list.data() + gathered, page->Data() + segment.Offset,
                static_cast<size_t>(segment.Size));
    gathered += segment.Size;
    pageNo = page->NextPageNo();
  }
  layout.DataPages.resize(static_cast<size_t>(plan.DataPageCount));
  for (int32_t i = 0; i < plan.DataPageCount; ++i) {
    layout.DataPages[i] = le::Load<int32_t>(list.data() + 4 * static_cast<size_t>(i));
    checkPageNo(layout.DataPages[i]);
  }

  // The list must name the header page first, start in the last data page unless it starts a
  // new page, and name no page twice (a damaged list must never free a page twice or another
  // value's page).
  const bool startsInLastDataPage = !plan.ListInNewPage;
  if (layout.DataPages.front() != headerPageNo ||
      (startsInLastDataPage && layout.ListPages.front() != layout.DataPages.back())) {
    RaiseBadList(head, pageDataSize);
  }
  std::vector<int32_t> owned = layout.OwnedPages();
  std::sort(owned.begin(), owned.end());
  if (std::adjacent_find(owned.begin(), owned.end()) != owned.end()) {
    RaiseBadList(head, pageDataSize);
  }
  return layout;
}

TQDXStoredBlobValue TQDXDiskBlobStore::ReadLarge(int32_t sessionID, int32_t headerPageNo) {
  const TQDXLargeBlobPages layout = ReadLargePages(sessionID, headerPageNo);
  const int32_t pageDataSize = PageDataSize();
  TQDXStoredBlobValue value{layout.Head.Header.UncompressedSize, layout.Head.Header.StoredSize, {}};
  const auto length = static_cast<size_t>(layout.Head.Header.DataLength);
  // Appended page by page: one pass over the bytes, none spent zeroing them first.
  value.Data.reserve(length);
  for (size_t i = 0; i < layout.DataPages.size(); ++i) {
    TQDXPageHandle page = GetBlobPage(*pages_, sessionID, layout.DataPages[i]);
    const int32_t offset = i == 0 ? kLargeBlobDataOffset : 0;
    const size_t count =
        std::min(length - value.Data.size(), static_cast<size_t>(pageDataSize - offset));
    const uint8_t* from = page->Data() + offset;
    value.Data.insert(value.Data.end(), from, from + count);
  }
  return value;
}

std::vector<int32_t> TQDXDiskBlobStore::ValuePages(int32_t sessionID, TQDXBlobRef ref) {
  if (!ref.HasValue()) return {};
  auto small = [&] {
    if (!ReadSmall(sessionID, ref)) Raise(msg::kCannotFindBlobField);
    return std::vector<int32_t>{ref.PageNo};
  };
  auto large = [&] { return ReadLargePages(sessionID, ref.PageNo).OwnedPages(); };
  return ByOrder(ReadOrder(sessionID, ref), small, large);
}

// ---- Deleting ---------------------------------------------------------------------------------

void TQDXDiskBlobStore::Delete(int32_t sessionID, TQDXBlobRef ref) {
  if (!ref.HasValue()) return;
  auto small = [&] { DeleteSmall(sessionID, ref); };
  auto large = [&] { DeleteLarge(sessionID, ref.PageNo); };
  return ByOrder(ReadOrder(sessionID, ref), small, large);
}

void TQDXDiskBlobStore::DeleteSmall(int32_t sessionID, TQDXBlobRef ref) {
  TQDXPageHandle page = GetBlobPage(*pages_, sessionID, ref.PageNo);
  TQDXSmallBlobPage view(*page);
  const int32_t size = view.RemoveEntry(ref.BlobID);
  const bool empty = view.EntryCount() == 0;
  page->Dirty = true;
  page.Release();
  if (empty) {
    pages_->RemovePage(sessionID, ref.PageNo);
    // The page is gone whatever the index recorded for it.
    index_->RemoveFromPage(sessionID, ref.PageNo, 0, 0);
  } else {
    index_->RemoveFromPage(sessionID, ref.PageNo, -1, size);
  }
}

void TQDXDiskBlobStore::DeleteLarge(int32_t sessionID, int32_t headerPageNo) {
  // Everything is read and checked before the first page goes.
  for (int32_t pageNo : ReadLargePages(sessionID, headerPageNo).OwnedPages()) {
    pages_->RemovePage(sessionID, pageNo);
  }
}

}  // namespace qdx
