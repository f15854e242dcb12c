#include "engine/core/page_manager.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "engine/foundation/except.h"
#include "engine/foundation/invariants.h"
#include "engine/foundation/memory.h"
#include "engine/foundation/messages.h"

namespace qdx {

TQDXPageManager::TQDXPageManager() : random_(static_cast<uint32_t>(std::random_device{}())) {
  const int64_t byMemory = QDXMemoryManager().GetAvailableMemory() / kMemoryPerCachedPage;
  cacheLimit_ = static_cast<int32_t>(std::clamp<int64_t>(byMemory, 0, kMaxCacheLimit));
  // DestroyPage keeps pages here without allocating, so that it cannot throw.
  sparePages_.reserve(kSparePages);
}

TQDXPageManager::~TQDXPageManager() {
  // The lists only point to the pages; pages_ destroys them all.
  for (auto& [id, session] : sessions_) session->dirty.Clear();
  sharedList_.Clear();
  orphans_.clear();
}

void TQDXPageManager::FreePages() {
  AssertDatabaseLockHeld();
  for (const auto& [id, session] : sessions_) {
    if (session->dirty.Count() > 0) Raise(msg::kCannotFreeNonCommitedPages);
  }
  for (TQDXPage* page : sharedList_.Pages()) DropSharedPage(page);
}

void TQDXPageManager::SetPageGeometry(uint16_t pageSize, uint16_t pageHeaderSize) {
  pageSize_ = pageSize;
  pageHeaderSize_ = pageHeaderSize;
}

const TQDXSortedPageList* TQDXPageManager::DirtyList(int32_t sessionID) const {
  const Session* session = FindSession(sessionID);
  return session == nullptr ? nullptr : &session->dirty;
}

bool TQDXPageManager::HasPendingChanges(int32_t sessionID) const {
  const Session* session = FindSession(sessionID);
  return session != nullptr && (session->dirty.Count() > 0 || !session->newPages.empty() ||
                                !session->removedPages.empty());
}

TQDXPageManager::Session* TQDXPageManager::FindSession(int32_t sessionID) const {
  if (lastSession_ != nullptr && lastSession_->sessionID == sessionID) return lastSession_;
  auto it = sessions_.find(sessionID);
  if (it == sessions_.end()) return nullptr;
  lastSession_ = it->second.get();
  return lastSession_;
}

TQDXPageManager::Session& TQDXPageManager::SessionFor(int32_t sessionID) {
  if (sessionID == kInvalidSessionID) Raise(msg::kInvalidSessionID);
  if (Session* session = FindSession(sessionID)) return *session;
  auto session = std::make_unique<Session>();
  session->sessionID = sessionID;
  lastSession_ = session.get();
  sessions_.emplace(sessionID, std::move(session));
  return *lastSession_;
}

int32_t TQDXPageManager::GetPageCount() {
  return pageCount_;
}

bool TQDXPageManager::IsCachedPageCurrent(int32_t, TQDXPage&) {
  return false;
}

void TQDXPageManager::SetCachedPageCurrent(int32_t, TQDXPage&) {}

void TQDXPageManager::LoadFromStream(TStream&) {}

void TQDXPageManager::SaveToStream(TStream&) {}

int32_t TQDXPageManager::ReadPageVersion(int32_t) {
  return kFreedPageVersion;
}

int32_t TQDXPageManager::RandomPageVersion() {
  return std::uniform_int_distribution<int32_t>(0, kMaxInitialPageVersion)(random_);
}

std::unique_ptr<TQDXPage> TQDXPageManager::NewPage(int32_t pageNo, int32_t sessionID) {
  if (sparePages_.empty()) return std::make_unique<TQDXPage>(*this, pageNo, sessionID);
  std::unique_ptr<TQDXPage> page = std::move(sparePages_.back());
  sparePages_.pop_back();
  page->Reuse(pageNo, sessionID);
  // The page geometry may have changed since the page was kept.
  if (page->BufferSize() != pageSize_) page->FreeBuffer();
  return page;
}

TQDXPage* TQDXPageManager::Adopt(std::unique_ptr<TQDXPage> page) {
  TQDXPage* adopted = page.get();
  adopted->madeIndex_ = pages_.size();
  pages_.push_back(std::move(page));
  return adopted;
}

std::unique_ptr<TQDXPage> TQDXPageManager::Disown(TQDXPage* page) noexcept {
  const size_t index = page->madeIndex_;
  assert(index < pages_.size() && pages_[index].get() == page);
  std::unique_ptr<TQDXPage> owned = std::move(pages_[index]);
  if (index + 1 != pages_.size()) {
    pages_[index] = std::move(pages_.back());
    pages_[index]->madeIndex_ = index;
  }
  pages_.pop_back();
  return owned;
}

void TQDXPageManager::DestroyPage(TQDXPage* page) noexcept {
  if (!orphans_.empty()) orphans_.erase(page);
  std::unique_ptr<TQDXPage> owned = Disown(page);
  if (sparePages_.size() < kSparePages && owned->OwnsBuffer() && owned->BufferSize() == pageSize_) {
    sparePages_.push_back(std::move(owned));
  }
}

void TQDXPageManager::KeepOrphan(TQDXPage* page, bool superseded) {
  page->List = TQDXPageList::None;
  orphans_[page] = superseded;
}

void TQDXPageManager::DropSharedPage(TQDXPage* page, bool superseded) {
  sharedList_.Delete(page->PageNo);
  page->List = TQDXPageList::None;
  if (page->UseCount == 0) {
    DestroyPage(page);
    return;
  }
  if (Session* holder = FindSession(page->SessionID)) --holder->heldShared;
  KeepOrphan(page, superseded);
}

void TQDXPageManager::DropDirtyPage(Session& session, TQDXPage* page) {
  session.dirty.Delete(page->PageNo);
  page->List = TQDXPageList::None;
  if (page->UseCount == 0) {
    DestroyPage(page);
    return;
  }
  KeepOrphan(page, false);
}

int32_t TQDXPageManager::CountHeldSharedPages(int32_t sessionID) const {
  int32_t held = 0;
  sharedList_.ForEach([&](const TQDXPage* page) {
    if (page->SessionID == sessionID && page->UseCount > 0) ++held;
  });
  return held;
}

void TQDXPageManager::PutOrphan(TQDXPage* page) {
  if (page->UseCount > 0) return;
  auto it = orphans_.find(page);
  const bool superseded = it != orphans_.end() && it->second;
  if (superseded && page->Dirty) {
    Session& session = SessionFor(page->SessionID);
    if (session.dirty.Find(page->PageNo) == nullptr) {
      orphans_.erase(it);
      page->List = TQDXPageList::Dirty;
      session.dirty.Add(page);
      return;
    }
  }
  DestroyPage(page);
}

void TQDXPageManager::DropSharedPage(int32_t pageNo) {
  if (TQDXPage* page = sharedList_.Find(pageNo)) DropSharedPage(page);
}

TQDXPage* TQDXPageManager::AddPage(int32_t sessionID, uint16_t pageType) {
  AssertDatabaseLockHeld();
  Session& session = SessionFor(sessionID);
  auto made = std::make_unique<TQDXPage>(*this, -1, sessionID);
  InternalAddPage(*made);
  TQDXPage* page = made.get();
  if (page->PageNo < 0) Raise(msg::kStorageGaveNoPageNumber);
  // Storage gave out a number this session still holds a changed page of: the lists would hold
  // two objects of one number.
  if (session.dirty.Find(page->PageNo) != nullptr) {
    Raise(msg::kStorageGaveNoPageNumber);
  }
  page->UseCount = 1;
  page->Dirty = true;
  page->ReadFromDisk = false;
  if (pageHeaderSize_ > 0) {
    page->SetPageType(pageType);
    page->SetPageVersion(RandomPageVersion());
  }
  page->SessionID = sessionID;
  // A cached copy of the number belongs to the page's former life.
  DropSharedPage(page->PageNo);
  Adopt(std::move(made));
  session.newPages.push_back(page->PageNo);
  page->List = TQDXPageList::Dirty;
  session.dirty.Add(page);
  return page;
}

TQDXPage* TQDXPageManager::ReadSharedPage(int32_t sessionID, int32_t pageNo, uint16_t pageType) {
  std::unique_ptr<TQDXPage> page = NewPage(pageNo, sessionID);
  // A page that cannot be read or has the wrong type is not cached: a later GetPage reads it
  // again instead of handing out whatever its buffer holds.
  if (!InternalReadPage(*page)) Raise(msg::kErrorReadingPage, {pageNo, pageType});
  if (!typeCheckOff_ && pageHeaderSize_ > 0 && pageType != kAnyPageType &&
      page->PageType() != pageType) {
    Raise(msg::kInvalidPageTypeCorruption, {pageType, page->PageType()});
  }
  TQDXPage* added = Adopt(std::move(page));
  try {
    sharedList_.Add(added);
  } catch (...) {
    DestroyPage(added);
    throw;
  }
  added->List = TQDXPageList::Shared;
  SetCachedPageCurrent(sessionID, *added);
  return added;
}

TQDXPage* TQDXPageManager::GetPage(int32_t sessionID, int32_t pageNo, bool synchronize,
                                   uint16_t pageType) {
  AssertDatabaseLockHeld();
  Session& session = SessionFor(sessionID);
  TQDXPage* page = session.dirty.Find(pageNo);
  if (page == nullptr) {
    page = sharedList_.Find(pageNo);
    if (page == nullptr) {
      page = ReadSharedPage(sessionID, pageNo, pageType);
    } else {
      if (page->UseCount > 0 && page->SessionID != sessionID) {
        Raise(msg::kPageIsUsedByOtherSession);
      }
      // A held page was current when it was obtained, and re-reading it would overwrite what
      // its holder may have changed.
      if (synchronize && page->UseCount == 0 && !IsCachedPageCurrent(sessionID, *page)) {
        if (!page->Refresh()) {
          DropSharedPage(page);
          Raise(msg::kErrorReadingPage, {pageNo, pageType});
        }
        SetCachedPageCurrent(sessionID, *page);
      }
    }
  }
  if (page->UseCount > 0 && page->SessionID != sessionID) {
    Raise(msg::kPageIsUsedByOtherSession);
  }
  if (page->UseCount == 0 && page->List == TQDXPageList::Shared) ++session.heldShared;
  page->SessionID = sessionID;
  ++page->UseCount;
  return page;
}

void TQDXPageManager::PutPage(TQDXPage* page) {
  AssertDatabaseLockHeld();
  if (page == nullptr || page->UseCount <= 0) Raise(msg::kInvalidPage);
  if (--page->UseCount == 0) page->ReadFromDisk = false;
  if (page->List == TQDXPageList::None) {
    PutOrphan(page);
    return;
  }
  if (page->List != TQDXPageList::Shared) return;
  if (page->UseCount == 0) {
    Session& session = SessionFor(page->SessionID);
    --session.heldShared;
    if (page->Dirty) {
      sharedList_.Delete(page->PageNo);
      page->List = TQDXPageList::Dirty;
      session.dirty.Add(page);
      return;
    }
    sharedList_.Touch(page);
  }
  EvictOldestIfOver();
}

void TQDXPageManager::EvictOldestIfOver() {
  if (sharedList_.Count() <= cacheLimit_) return;
  TQDXPage* oldest = sharedList_.Oldest();
  if (oldest != nullptr && oldest->UseCount == 0) DropSharedPage(oldest);
}

void TQDXPageManager::RemovePage(int32_t sessionID, int32_t pageNo) {
  AssertDatabaseLockHeld();
  SessionFor(sessionID).removedPages.push_back(pageNo);
}

std::span<const int32_t> TQDXPageManager::RemovedPages(int32_t sessionID) const {
  const Session* session = FindSession(sessionID);
  if (session == nullptr) return {};
  return session->removedPages;
}

void TQDXPageManager::CheckCommitPreconditions([[maybe_unused]] int32_t sessionID,
                                               const Session* session) const {
  // A session that never used the manager holds nothing.
  if (session == nullptr) return;
  assert(session->heldShared == CountHeldSharedPages(sessionID));
  if (session->heldShared > 0) Raise(msg::kSomeSessionPagesNotReleased);
  for (int32_t i = 0; i < session->dirty.Count(); ++i) {
    const TQDXPage* page = session->dirty.Page(i);
    if (!page->Dirty) Raise(msg::kInvalidPage);
    if (page->UseCount > 0) Raise(msg::kCannotWriteUsedPage);
  }
}

void TQDXPageManager::AddCommittedPage(TQDXPage* page) {
  page->List = TQDXPageList::None;
  if (TQDXPage* cached = sharedList_.Find(page->PageNo)) {
    DropSharedPage(cached, /*superseded=*/true);
  }
  if (sharedList_.Count() >= cacheLimit_) {
    DestroyPage(page);
    return;
  }
  page->List = TQDXPageList::Shared;
  sharedList_.Add(page);
}

void TQDXPageManager::ApplyChanges(int32_t sessionID) {
  AssertDatabaseLockHeld();
  Session* session = FindSession(sessionID);
  CheckCommitPreconditions(sessionID, session);
  if (session == nullptr) return;

  std::vector<int32_t>& removed = session->removedPages;
  size_t freed = 0;
  try {
    for (; freed < removed.size(); ++freed) {
      const int32_t pageNo = removed[freed];
      InternalRemovePage(pageNo);
      if (TQDXPage* page = session->dirty.Find(pageNo)) DropDirtyPage(*session, page);
      DropSharedPage(pageNo);
    }
  } catch (...) {
    removed.erase(removed.begin(), removed.begin() + static_cast<ptrdiff_t>(freed));
    throw;
  }
  removed.clear();
  session->newPages.clear();

  TQDXSortedPageList& dirty = session->dirty;
  int32_t written = 0;
  try {
    for (; written < dirty.Count(); ++written) {
      TQDXPage* page = dirty.Page(written);
      InternalWritePage(*page);
      page->Dirty = false;
    }
  } catch (...) {
    // The pages written so far move to the shared list; the rest stay for a retry or rollback.
    CommitWrittenPages(*session, written);
    throw;
  }
  CommitWrittenPages(*session, written);
  if constexpr (kCheckInvariants) CheckPageListsAfterCommit(*session);
}

void TQDXPageManager::CommitWrittenPages(Session& session, int32_t count) {
  // A page links into one list at a time, and the shared list may destroy a page it has no
  // room for: each page leaves the dirty list before the shared list sees it.
  TQDXSortedPageList& dirty = session.dirty;
  while (count > 0) {
    const int32_t batch = std::min(count, kCommitBatch);
    std::array<TQDXPage*, kCommitBatch> pages;
    for (int32_t i = 0; i < batch; ++i) pages[static_cast<size_t>(i)] = dirty.Page(i);
    dirty.DeleteFirst(batch);
    count -= batch;
    for (int32_t i = 0; i < batch; ++i) {
      TQDXPage* page = pages[static_cast<size_t>(i)];
      try {
        AddCommittedPage(page);
      } catch (...) {
        // Out of memory for the list: the page is on disk, so the cache can do without it.
        DestroyPage(page);
      }
    }
  }
}

void TQDXPageManager::CancelChanges(int32_t sessionID) {
  AssertDatabaseLockHeld();
  Session* session = FindSession(sessionID);
  if (session == nullptr) return;
  TQDXSortedPageList& dirty = session->dirty;
  for (int32_t i = 0; i < dirty.Count(); ++i) {
    const TQDXPage* page = dirty.Page(i);
    if (!page->Dirty) Raise(msg::kInvalidIndexPage);
    if (page->UseCount > 0) Raise(msg::kCannotRemoveUsedPage);
  }
  for (int32_t i = 0; i < dirty.Count(); ++i) DestroyPage(dirty.Page(i));
  dirty.Clear();

  std::vector<int32_t> added;
  added.swap(session->newPages);
  session->removedPages.clear();
  for (int32_t pageNo : added) InternalRemovePage(pageNo);
}

}  // namespace qdx
