// TQDXPageManager: the page cache and the base of every page manager.
//
// The manager lends pages to sessions and keeps each session's changes apart until they are
// committed. Concrete managers supply the storage through the Internal* operations (the disk
// page manager reads and writes the database file; tests use memory).
//
// Design notes (the rules every user and every subclass relies on):
//  1. Every GetPage and AddPage is matched by exactly one PutPage, on error paths too
//     (TQDXPageHandle does it). A user that changes a page's buffer sets Dirty before PutPage.
//  2. A page is held by one session at a time: GetPage of a page another session holds fails
//     with 20090 "Page is used by other session".
//  3. A page a session changed lives in that session's dirty list until ApplyChanges writes it
//     or CancelChanges drops it. Other sessions do not see it: they read the stored content into
//     a page object of their own in the shared list.
//  4. The shared list holds clean pages of all sessions, at most one object per page number, and
//     is bounded by CacheLimit: each PutPage of a shared page evicts at most one page, the least
//     recently stamped, and only when nobody holds it.
//  5. When a commit writes page n and the shared list already holds another object for n (read
//     by another session meanwhile), the committed page replaces it: an unused copy is
//     destroyed; a held copy leaves the list and lives until its holder returns it, when it is
//     destroyed, or, if the holder changed it, joins the holder's dirty list as any changed
//     shared page does. So the cache never serves content older than the last commit.
//  6. ApplyChanges checks every precondition (no page of the session held, every dirty page
//     Dirty) before it frees or writes anything.
//  7. A page dropped from the lists while someone holds it (its number was freed, or a commit
//     superseded it) is kept by the manager until its last PutPage.
//
// Session ID -2 is the engine's system session (structure changes); -1 is invalid.
//
// Not safe for concurrent use: the manager runs under its database's critical section, and its
// entry points (GetPage, AddPage, PutPage, RemovePage, ApplyChanges, CancelChanges, FreePages)
// check so in debug builds. A manager that belongs to no database (a tool's, a test's) has a
// section of its own, which its callers hold in the same way.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <span>
#include <unordered_map>
#include <vector>

#include "engine/core/page.h"
#include "engine/core/page_format.h"
#include "engine/core/shared_page_list.h"
#include "engine/core/sorted_page_list.h"
#include "engine/foundation/platform/critical_section.h"

namespace qdx {

class TStream;

inline constexpr int32_t kSystemSessionID = -2;
inline constexpr int32_t kInvalidSessionID = -1;

class TQDXPageManager {
 public:
  static constexpr int32_t kMaxCacheLimit = 1000;
  static constexpr int64_t kMemoryPerCachedPage = 65536;

  // CacheLimit is the smaller of 1000 and the engine's available memory / 65536.
  TQDXPageManager();
  // Destroys every page: of the shared list, of the dirty lists and any still held. Call
  // FreePages first to learn of uncommitted pages.
  virtual ~TQDXPageManager();
  TQDXPageManager(const TQDXPageManager&) = delete;
  TQDXPageManager& operator=(const TQDXPageManager&) = delete;

  // The virtual operations, in slot order.

  // 0: the page count of the storage.
  virtual int32_t GetPageCount();
  // 1: whether a cached page needs no check against storage for this session.
  virtual bool IsCachedPageCurrent(int32_t sessionID, TQDXPage& page);
  // 2: records that the session has validated the cached page.
  virtual void SetCachedPageCurrent(int32_t sessionID, TQDXPage& page);
  // 3, 4: the memory engine's persistence; nothing here.
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream);
  // 5: gives the page a new page number and a fresh buffer with an initialised header
  // (PageNo stays -1 when no number can be had).
  virtual void InternalAddPage(TQDXPage& page) = 0;
  // 6: releases the page number in storage.
  virtual void InternalRemovePage(int32_t pageNo) = 0;
  // 7: fills the page's buffer (allocating it when missing) from storage; false when it cannot.
  virtual bool InternalReadPage(TQDXPage& page) = 0;
  // 8: writes the page's buffer to storage.
  virtual void InternalWritePage(TQDXPage& page) = 0;
  // 9: records that the session frees the page; nothing is freed before ApplyChanges.
  virtual void RemovePage(int32_t sessionID, int32_t pageNo);
  // 10: lends the page to the session (see the design notes). `pageType` 255 accepts any type.
  // With `synchronize`, a shared page is first brought up to date with storage (Refresh).
  // 20186 for session -1; 20299 when the page cannot be read; 20153 for a page of another type;
  // 20090 when another session holds it.
  virtual TQDXPage* GetPage(int32_t sessionID, int32_t pageNo, bool synchronize, uint16_t pageType);
  // 11: the commit: frees the session's removed pages, writes its dirty pages in page-number
  // order and moves them to the shared list. 20152 when a page of the session is still held,
  // 20086 for a held dirty page, 20085 for a clean one in the dirty list.
  virtual void ApplyChanges(int32_t sessionID);

  // Not a slot of the table above: the PageVersion stored for a page, used by TQDXPage::Refresh
  // in multi-user mode; the disk page manager answers from the file. kFreedPageVersion means
  // "unknown": the cached page is kept.
  virtual int32_t ReadPageVersion(int32_t pageNo);

  // A new page for the session, held (UseCount 1) and Dirty, with `pageType` and a random
  // PageVersion in its header. 20064 when storage gives no page number.
  TQDXPage* AddPage(int32_t sessionID, uint16_t pageType);
  // Returns a page lent by GetPage or AddPage. The page may be destroyed: do not touch it after.
  void PutPage(TQDXPage* page);
  // The rollback: drops the session's changed pages and gives back its new page numbers. 20087
  // for a clean page in the dirty list, 20088 for a held one.
  void CancelChanges(int32_t sessionID);
  // 20097 "Cannot free non-commited pages" when a session has uncommitted pages; otherwise
  // destroys the cached pages.
  void FreePages();

  uint16_t PageSize() const { return pageSize_; }
  uint16_t PageHeaderSize() const { return pageHeaderSize_; }
  uint16_t PageDataSize() const { return static_cast<uint16_t>(pageSize_ - pageHeaderSize_); }
  int32_t CacheLimit() const { return cacheLimit_; }
  void SetCacheLimit(int32_t limit) { cacheLimit_ = limit; }
  // While on, GetPage does not compare page types (and the disk manager skips checksums).
  bool TypeCheckOff() const { return typeCheckOff_; }
  void SetTypeCheckOff(bool off) { typeCheckOff_ = off; }

  const TQDXSharedPageList& SharedList() const { return sharedList_; }
  // The session's dirty list; null when the session never used the manager.
  const TQDXSortedPageList* DirtyList(int32_t sessionID) const;
  // The page numbers the session released since its last commit or rollback.
  std::span<const int32_t> RemovedPages(int32_t sessionID) const;
  // Whether ApplyChanges or CancelChanges of the session has anything to do: a removed page, a
  // new page or a dirty page.
  bool HasPendingChanges(int32_t sessionID) const;

  // Other processes may change the storage (disk manager only).
  bool MultiUser = false;

  // The critical section the manager's callers hold: its database's once the database gave it
  // (engine/core/database_data.h has the lock order), else the manager's own.
  platform::CriticalSection& DatabaseLock() const { return *databaseLock_; }
  void UseDatabaseLock(platform::CriticalSection& lock) { databaseLock_ = &lock; }
  // Stops a debug build when the calling thread does not hold DatabaseLock().
  void AssertDatabaseLockHeld() const { databaseLock_->AssertHeld(); }

 protected:
  // The checks ApplyChanges makes before it frees or writes anything (design note 6): 20152,
  // 20085, 20086. Lets a subclass check them before it marks the storage as being written.
  void CheckCommitPreconditions(int32_t sessionID) const {
    CheckCommitPreconditions(sessionID, FindSession(sessionID));
  }
  // Sets the page geometry; PageHeaderSize is 40 for every disk-format manager.
  void SetPageGeometry(uint16_t pageSize, uint16_t pageHeaderSize);
  void SetPageCount(int32_t count) { pageCount_ = count; }
  // Drops a cached page whose stored content changed behind the cache (a commit rolled back).
  void ForgetCachedPage(int32_t pageNo) { DropSharedPage(pageNo); }

 private:
  mutable platform::CriticalSection ownLock_;
  platform::CriticalSection* databaseLock_ = &ownLock_;
  struct Session {
    int32_t sessionID;
    // Pages of the shared list the session holds (the commit refuses while any is held).
    int32_t heldShared = 0;
    TQDXSortedPageList dirty;
    std::vector<int32_t> newPages;
    std::vector<int32_t> removedPages;
  };

  Session& SessionFor(int32_t sessionID);
  Session* FindSession(int32_t sessionID) const;
  TQDXPage* ReadSharedPage(int32_t sessionID, int32_t pageNo, uint16_t pageType);
  // Drops page `pageNo` of the shared list, if there: destroyed when nobody holds it, kept until
  // its last PutPage otherwise.
  void DropSharedPage(int32_t pageNo);
  // Removes the page from the shared list; destroyed when nobody holds it, else kept as an
  // orphan. `superseded` says that a committed page replaced it, so a change to it is kept
  // (note 5).
  void DropSharedPage(TQDXPage* page, bool superseded = false);
  // Removes the page from the session's dirty list; destroyed when nobody holds it, else kept as
  // an orphan.
  void DropDirtyPage(Session& session, TQDXPage* page);
  // Keeps a page dropped from the lists while held (design note 7).
  void KeepOrphan(TQDXPage* page, bool superseded);
  // PutPage of a page no list holds.
  void PutOrphan(TQDXPage* page);
  // A page object for `pageNo`: one the manager destroyed earlier, with its buffer, when there
  // is one (a page read overwrites the whole buffer, so reusing it saves an allocation and a
  // zero fill on every read from storage).
  std::unique_ptr<TQDXPage> NewPage(int32_t pageNo, int32_t sessionID);
  // Takes ownership of a page the manager made.
  TQDXPage* Adopt(std::unique_ptr<TQDXPage> page);
  // Gives up ownership of a page the manager made.
  std::unique_ptr<TQDXPage> Disown(TQDXPage* page) noexcept;
  void DestroyPage(TQDXPage* page) noexcept;
  // The pages of the shared list the session holds, counted the slow way (debug checks).
  int32_t CountHeldSharedPages(int32_t sessionID) const;
  void EvictOldestIfOver();
  void CheckCommitPreconditions(int32_t sessionID, const Session* session) const;
  // page_manager_invariants.cpp: the lists as a commit leaves them (debug builds; 20390).
  void CheckPageListsAfterCommit(const Session& committed) const;
  void AddCommittedPage(TQDXPage* page);
  // Moves the first `count` pages of the session's dirty list, written and clean, to the shared
  // list (or destroys them when it is full).
  void CommitWrittenPages(Session& session, int32_t count);
  static constexpr int32_t kCommitBatch = 256;
  int32_t RandomPageVersion();

  uint16_t pageSize_ = 4096;
  uint16_t pageHeaderSize_ = kPageHeaderSize;
  int32_t pageCount_ = 0;
  bool typeCheckOff_ = false;
  int32_t cacheLimit_ = kMaxCacheLimit;
  // Every page the manager made, until it is destroyed, each at its madeIndex_. The lists and
  // orphans_ only point to them, as do the sessions that hold them.
  std::vector<std::unique_ptr<TQDXPage>> pages_;
  // Destroyed pages kept for reuse by NewPage, with buffers of PageSize bytes.
  static constexpr size_t kSparePages = 16;
  std::vector<std::unique_ptr<TQDXPage>> sparePages_;
  TQDXSharedPageList sharedList_;
  std::unordered_map<int32_t, std::unique_ptr<Session>> sessions_;
  mutable Session* lastSession_ = nullptr;
  // Pages dropped from the lists while held (design note 7), with whether a commit superseded
  // them.
  std::unordered_map<TQDXPage*, bool> orphans_;
  std::minstd_rand random_;
};

}  // namespace qdx
