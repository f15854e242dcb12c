#include "engine/core/page_manager.h"

#include <algorithm>

#include "engine/foundation/except.h"
#include "engine/foundation/memory.h"
#include "engine/foundation/messages.h"

namespace qdx {

TQDXPageManager::TQDXPageManager() : random_(static_cast<uint32_t>(std::random_device{}())) {
  const int64_t byMemory = QDXMemoryManager().GetAvailableMemory() / kMemoryPerCachedPage;
  cacheLimit_ = static_cast<int32_t>(std::clamp<int64_t>(byMemory, 0, kMaxCacheLimit));
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
  for (int32_t i = 0; i < sharedList_.Count(); ++i) {
    TQDXPage* page = sharedList_.Page(i);
    if (page->UseCount > 0) {
      page->List = nullptr;
      orphans_.emplace(page, false);
    } else {
      DestroyPage(page);
    }
  }
  sharedList_.Clear();
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

TQDXPage* TQDXPageManager::Adopt(std::unique_ptr<TQDXPage> page) {
  TQDXPage* adopted = page.get();
  pages_.emplace(adopted, std::move(page));
  return adopted;
}

void TQDXPageManager::DestroyPage(TQDXPage* page) noexcept {
  // The buffer of a page leaving the cache is kept for the next page read, which overwrites all
  // of it: a fresh one would be allocated and zero-filled only to be overwritten.
  if (!spareBuffer_ && page->OwnsBuffer() && page->BufferSize() == pageSize_) {
    spareBuffer_ = page->TakeBuffer();
  }
  orphans_.erase(page);
  pages_.erase(page);
}

void TQDXPageManager::DropPage(TQDXSortedPageList& list, TQDXPage* page, bool superseded) {
  list.Delete(page->PageNo);
  page->List = nullptr;
  if (page->UseCount > 0) {
    orphans_[page] = superseded;
  } else {
    DestroyPage(page);
  }
}

void TQDXPageManager::PutOrphan(TQDXPage* page) {
  if (page->UseCount > 0) return;
  auto it = orphans_.find(page);
  const bool superseded = it != orphans_.end() && it->second;
  if (superseded && page->Dirty) {
    Session& session = SessionFor(page->SessionID);
    if (session.dirty.Find(page->PageNo) == nullptr) {
      orphans_.erase(it);
      page->List = &session.dirty;
      session.dirty.Add(page);
      return;
    }
  }
  DestroyPage(page);
}

void TQDXPageManager::DropSharedPage(int32_t pageNo) {
  if (TQDXPage* page = sharedList_.Find(pageNo)) DropPage(sharedList_, page);
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
  page->List = &session.dirty;
  session.dirty.Add(page);
  return page;
}

TQDXPage* TQDXPageManager::ReadSharedPage(int32_t sessionID, int32_t pageNo, uint16_t pageType) {
  auto page = std::make_unique<TQDXPage>(*this, pageNo, sessionID);
  if (spareBuffer_.size() == pageSize_) page->SetBuffer(std::move(spareBuffer_));
  // A page that cannot be read or has the wrong type is not cached: a later GetPage reads it
  // again instead of handing out whatever its buffer holds.
  if (!InternalReadPage(*page)) Raise(msg::kErrorReadingPage, {pageNo, pageType});
  if (!typeCheckOff_ && pageHeaderSize_ > 0 && pageType != kAnyPageType &&
      page->PageType() != pageType) {
    Raise(msg::kInvalidPageTypeCorruption, {pageType, page->PageType()});
  }
  TQDXPage* added = Adopt(std::move(page));
  added->List = &sharedList_;
  sharedList_.Add(added);
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
          DropPage(sharedList_, page);
          Raise(msg::kErrorReadingPage, {pageNo, pageType});
        }
        SetCachedPageCurrent(sessionID, *page);
      }
    }
  }
  if (page->UseCount > 0 && page->SessionID != sessionID) {
    Raise(msg::kPageIsUsedByOtherSession);
  }
  page->SessionID = sessionID;
  ++page->UseCount;
  return page;
}

void TQDXPageManager::PutPage(TQDXPage* page) {
  AssertDatabaseLockHeld();
  if (page == nullptr || page->UseCount <= 0) Raise(msg::kInvalidPage);
  if (--page->UseCount == 0) page->ReadFromDisk = false;
  if (page->List == nullptr) {
    PutOrphan(page);
    return;
  }
  if (page->List != &sharedList_) return;
  if (page->UseCount == 0) {
    if (page->Dirty) {
      Session& session = SessionFor(page->SessionID);
      sharedList_.Delete(page->PageNo);
      page->List = &session.dirty;
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
  if (oldest != nullptr && oldest->UseCount == 0) DropPage(sharedList_, oldest);
}

void TQDXPageManager::RemovePage(int32_t sessionID, int32_t pageNo) {
  AssertDatabaseLockHeld();
  SessionFor(sessionID).removedPages.push_back(pageNo);
}

void TQDXPageManager::CheckCommitPreconditions(int32_t sessionID, const Session* session) const {
  for (int32_t i = 0; i < sharedList_.Count(); ++i) {
    const TQDXPage* page = sharedList_.Page(i);
    if (page->SessionID == sessionID && page->UseCount > 0) {
      Raise(msg::kSomeSessionPagesNotReleased);
    }
  }
  if (session == nullptr) return;
  for (int32_t i = 0; i < session->dirty.Count(); ++i) {
    const TQDXPage* page = session->dirty.Page(i);
    if (!page->Dirty) Raise(msg::kInvalidPage);
    if (page->UseCount > 0) Raise(msg::kCannotWriteUsedPage);
  }
}

void TQDXPageManager::AddCommittedPage(TQDXPage* page) {
  page->List = nullptr;
  if (TQDXPage* cached = sharedList_.Find(page->PageNo)) {
    DropPage(sharedList_, cached, /*superseded=*/true);
  }
  if (sharedList_.Count() >= cacheLimit_) {
    DestroyPage(page);
    return;
  }
  page->List = &sharedList_;
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
      if (TQDXPage* page = session->dirty.Find(pageNo)) DropPage(session->dirty, page);
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
      AddCommittedPage(page);
    }
  } catch (...) {
    // The pages written so far have left the dirty list; the rest stay for a retry or rollback.
    dirty.DeleteFirst(written);
    throw;
  }
  dirty.Clear();
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
