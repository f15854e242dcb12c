#include "engine/disk/disk_record_manager.h"

#include <cstring>
#include <string>

#include "engine/core/btree.h"
#include "engine/core/table_data.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/disk/free_space_manager.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"

namespace qdx {

TQDXDiskRecordManager::TQDXDiskRecordManager(TQDXTableData& table,
                                             TQDXDiskPageManager& pageManager, int32_t tableID)
    : TQDXBaseRecordManager(table), pageManager_(pageManager), tableID_(tableID) {}

void TQDXDiskRecordManager::Setup(int32_t storedSize) {
  const int32_t perPage = qdx::RecordsPerPage(pageManager_.PageDataSize(), storedSize);
  if (perPage <= 0) Raise(msg::kRecordTooLargeForPage);
  recordsPerPage_ = perPage;
  storedSize_ = storedSize;
  work_.assign(static_cast<size_t>(storedSize), 0);
  MemoryRecordSize = Table().FieldManager().MemoryRecordSize();
  const int32_t root = pageIndex_ ? pageIndex_->RootPageNo() : -1;
  pageIndex_ = std::make_unique<TQDXBTreeRecordPageIndex>(pageManager_, perPage);
  pageIndex_->SetRoot(root);
  RecordCount = 0;
  ChangeStamp = 0;
}

bool TQDXDiskRecordManager::AcceptsPage(const TQDXPage& page) const {
  const TQDXDatabaseFreeSpaceManager* freeSpace = pageManager_.FreeSpaceManager();
  if ((freeSpace != nullptr && freeSpace->InTransaction) || pageManager_.Header().IsOldFormat()) {
    return true;
  }
  return IsRecordPageOf(page.Header(), tableID_);
}

TQDXPageHandle TQDXDiskRecordManager::FetchPage(int32_t sessionID, int32_t pageNo) {
  TQDXPageHandle page =
      TQDXPageHandle::Get(pageManager_, sessionID, pageNo, /*synchronize=*/true, kAnyPageType);
  if (!AcceptsPage(*page)) return {};
  return page;
}

// ---- Changes ---------------------------------------------------------------------------------

void TQDXDiskRecordManager::EmptyRecords(int32_t sessionID) {
  TQDXKeyPath path;
  std::vector<int32_t> pages;
  if (pageIndex_->GoFirst(sessionID, path)) {
    TQDXLeafWalkGuard guard;
    do {
      guard.Visit(path);
      pages.push_back(pageIndex_->PageAt(sessionID, path));
    } while (pageIndex_->Next(sessionID, path));
  }
  for (const int32_t pageNo : pages) pageManager_.RemovePage(sessionID, pageNo);
  pageIndex_->EmptyAll(sessionID);
  RecordsEmptied();
}

bool TQDXDiskRecordManager::InsertRecord(int32_t sessionID, const uint8_t* buffer,
                                         TQDXRecordID& id) {
  // Engine errors (a full disk, a damaged page) are raised as they are: the caller rolls the
  // change back and the user reads the cause, not a bare "not inserted".
  TQDXKeyPath listed;
  const int32_t pageNo = pageIndex_->FindPageWithRoom(sessionID, 1, &listed);
  TQDXPageHandle page;
  if (pageNo >= 0) {
    page = TQDXPageHandle::Get(pageManager_, sessionID, pageNo, true, ptTableRecord);
  } else {
    page = TQDXPageHandle::Add(pageManager_, sessionID, ptTableRecord);
    page->SetOwnerObjectID(tableID_);
  }
  Table().FieldManager().MemoryToStored(buffer, work_.data());
  const int32_t slot = View(page).InsertRecord(work_);
  page->Dirty = true;
  id = {page->PageNo, static_cast<uint16_t>(slot)};
  const int32_t storedPageNo = page->PageNo;
  page.Release();
  // Writing the record page leaves the page index as it was: the entry found stays where it is.
  pageIndex_->AddToPage(sessionID, storedPageNo, 1, pageNo >= 0 ? &listed : nullptr);
  RecordInserted();
  return true;
}

bool TQDXDiskRecordManager::UpdateRecord(int32_t sessionID, const uint8_t* buffer,
                                         TQDXRecordID id) {
  TQDXPageHandle page =
      TQDXPageHandle::Get(pageManager_, sessionID, id.PageNo, true, ptTableRecord);
  TQDXSmallRecordPage view = View(page);
  Table().FieldManager().MemoryToStored(buffer, work_.data());
  if (!view.IsUsed(id.SlotNo)) return false;
  view.WriteRecord(id.SlotNo, work_);
  page->Dirty = true;
  RecordUpdated();
  return true;
}

bool TQDXDiskRecordManager::DeleteRecord(int32_t sessionID, TQDXRecordID id) {
  TQDXPageHandle page =
      TQDXPageHandle::Get(pageManager_, sessionID, id.PageNo, true, ptTableRecord);
  TQDXSmallRecordPage view = View(page);
  if (!view.DeleteRecord(id.SlotNo)) return false;
  page->Dirty = true;
  const int32_t left = view.RecordCount();
  page.Release();
  RecordDeleted();
  if (left == 0) pageManager_.RemovePage(sessionID, id.PageNo);
  pageIndex_->RemoveFromPage(sessionID, id.PageNo, left, 0);
  return true;
}

// ---- Walks -----------------------------------------------------------------------------------

void TQDXDiskRecordManager::AtEnd(TQDXNavigationRequest& request, bool forward) {
  request.Result = forward ? grEOF : grBOF;
  request.AtEOF = forward;
  request.AtBOF = !forward;
}

void TQDXDiskRecordManager::Arrive(TQDXNavigationRequest& request, const TQDXPageHandle& page,
                                   int32_t slot) {
  if (request.Buffer != nullptr) {
    Table().FieldManager().StoredToMemory(View(page).Record(slot).data(), request.Buffer);
  }
  request.RecordID = {page->PageNo, static_cast<uint16_t>(slot)};
  request.AtBOF = request.AtEOF = false;
  request.Result = grOK;
}

bool TQDXDiskRecordManager::ArriveAtPageEnd(int32_t sessionID, TQDXNavigationRequest& request,
                                            int32_t pageNo, bool forward) {
  TQDXPageHandle page = FetchPage(sessionID, pageNo);
  if (!page) {
    request.Result = grError;
    return false;
  }
  const TQDXSmallRecordPage view = View(page);
  const int32_t slot =
      forward ? view.NextUsedSlot(0) : view.PriorUsedSlot(recordsPerPage_ - 1);
  if (slot < 0) Raise(msg::kRecordNotFoundOnPage, {pageNo, view.RecordCount()});
  Arrive(request, page, slot);
  return true;
}

void TQDXDiskRecordManager::StepToNeighbourPage(int32_t sessionID,
                                                TQDXNavigationRequest& request, int32_t pageNo,
                                                bool forward) {
  uint8_t key[4];
  le::Store(key, pageNo);
  TQDXKeyPath path;
  if (!pageIndex_->Tree().FindCondition(sessionID, forward, path, forward ? ckGreater : ckLess,
                                        key)) {
    AtEnd(request, forward);
    return;
  }
  ArriveAtPageEnd(sessionID, request, pageIndex_->PageAt(sessionID, path), forward);
}

void TQDXDiskRecordManager::ReadRecord(int32_t sessionID, TQDXNavigationRequest& request) {
  if (RecordCount == 0) {
    AtEnd(request, /*forward=*/true);
    return;
  }
  const TQDXRecordID id = request.RecordID;
  if (request.Mode == grmCurrent) {
    request.Result = grError;
    if (request.AtBOF || request.AtEOF || id.PageNo < 0) return;
    TQDXPageHandle page = FetchPage(sessionID, id.PageNo);
    if (page && View(page).IsUsed(id.SlotNo)) Arrive(request, page, id.SlotNo);
    return;
  }
  const bool forward = request.Mode == grmNext;
  if (forward ? request.AtEOF : request.AtBOF) {
    AtEnd(request, forward);
    return;
  }
  if (forward ? request.AtBOF : request.AtEOF) {
    TQDXKeyPath path;
    const bool found = forward ? pageIndex_->GoFirst(sessionID, path)
                               : pageIndex_->GoLast(sessionID, path);
    if (!found) {
      AtEnd(request, forward);
      return;
    }
    ArriveAtPageEnd(sessionID, request, pageIndex_->PageAt(sessionID, path), forward);
    return;
  }
  // From a record: the rest of its page first, when the page is still the table's.
  if (id.PageNo >= 0) {
    TQDXPageHandle page = FetchPage(sessionID, id.PageNo);
    if (page) {
      const TQDXSmallRecordPage view = View(page);
      const int32_t slot =
          forward ? view.NextUsedSlot(id.SlotNo + 1) : view.PriorUsedSlot(id.SlotNo - 1);
      if (slot >= 0) {
        Arrive(request, page, slot);
        return;
      }
    } else if (!forward) {
      // The record's page left the table: prior continues from the end.
      request.AtEOF = true;
      ReadRecord(sessionID, request);
      return;
    }
  }
  StepToNeighbourPage(sessionID, request, id.PageNo, forward);
}

int64_t TQDXDiskRecordManager::GetRecordCountEstimate(int32_t) const {
  return RecordCount / 2;
}

// ---- Physical positions ----------------------------------------------------------------------

TQDXRecordID TQDXDiskRecordManager::RecordAtPhysicalIndex(int32_t sessionID, int64_t index) {
  int32_t offset = 0;
  const int32_t pageNo = pageIndex_->PageOfPosition(sessionID, index, offset);
  TQDXPageHandle page =
      TQDXPageHandle::Get(pageManager_, sessionID, pageNo, true, ptTableRecord);
  const int32_t slot = View(page).NthUsedSlot(offset);
  if (slot < 0) Raise(msg::kPhysicalRecordNotFound);
  return {pageNo, static_cast<uint16_t>(slot)};
}

int64_t TQDXDiskRecordManager::PhysicalNumberOf(int32_t sessionID, TQDXRecordID id) {
  TQDXKeyPath path;
  int64_t before = 0;
  if (!pageIndex_->GoFirst(sessionID, path)) return -1;
  TQDXLeafWalkGuard guard;
  do {
    guard.Visit(path);
    const int32_t pageNo = pageIndex_->PageAt(sessionID, path);
    if (pageNo == id.PageNo) {
      TQDXPageHandle page =
          TQDXPageHandle::Get(pageManager_, sessionID, pageNo, true, ptTableRecord);
      const TQDXSmallRecordPage view = View(page);
      if (!view.IsUsed(id.SlotNo)) return -1;
      return before + view.UsedSlotsBefore(id.SlotNo) + 1;
    }
    if (pageNo > id.PageNo) return -1;
    before += pageIndex_->GetValue(sessionID, path);
  } while (pageIndex_->Next(sessionID, path));
  return -1;
}

int64_t TQDXDiskRecordManager::MaxRecordPosition(int32_t sessionID) {
  TQDXKeyPath path;
  if (!pageIndex_->GoLast(sessionID, path)) return 1;
  return (int64_t{pageIndex_->PageAt(sessionID, path)} + 1) * recordsPerPage_;
}

// ---- Repair ----------------------------------------------------------------------------------

int64_t TQDXDiskRecordManager::SumPageIndex(int32_t sessionID) {
  TQDXKeyPath path;
  int64_t sum = 0;
  if (!pageIndex_->GoFirst(sessionID, path)) return 0;
  TQDXLeafWalkGuard guard;
  do {
    guard.Visit(path);
    sum += pageIndex_->GetValue(sessionID, path);
  } while (pageIndex_->Next(sessionID, path));
  return sum;
}

void TQDXDiskRecordManager::RebuildPageIndex(int32_t sessionID, const std::string& tableName) {
  if (storedSize_ >= pageManager_.PageDataSize()) Raise(msg::kCannotRepairPageIndex, {tableName});
  auto rebuilt = std::make_unique<TQDXBTreeRecordPageIndex>(pageManager_, recordsPerPage_);
  rebuilt->CreateRoot(sessionID);
  RecordCount = 0;
  const int32_t pageCount = pageManager_.GetPageCount();
  TQDXDatabaseFreeSpaceManager* freeSpace = pageManager_.FreeSpaceManager();
  for (int32_t pageNo = 1; pageNo < pageCount; ++pageNo) {
    if (pageManager_.IsSystemPage(pageNo)) continue;
    if (freeSpace != nullptr && !freeSpace->IsPageUsed(pageNo)) continue;
    TQDXPageHandle page;
    try {
      page = TQDXPageHandle::Get(pageManager_, sessionID, pageNo, true, ptTableRecord);
    } catch (const EQDXException&) {
      continue;  // unreadable, or a page of another kind
    }
    if (page->OwnerObjectID() != tableID_ || !IsRecordPageOf(page->Header(), tableID_)) continue;
    const int32_t count = View(page).RecordCount();
    page.Release();
    if (count == 0) continue;
    rebuilt->AddToPage(sessionID, pageNo, count);
    RecordCount += count;
  }
  pageIndex_ = std::move(rebuilt);
}

}  // namespace qdx
