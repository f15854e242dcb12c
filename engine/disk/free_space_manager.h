// TQDXDatabaseFreeSpaceManager: hands out and takes back the page numbers of a database file.
//
// It keeps the two free-space maps (free_space_format.h) current: the PFS bit of every page and
// the EAM entry of every extent. It grows the file when no free page is left and shrinks it when
// enough pages at its end are free.
//
// Design notes:
//  1. Every allocation and release runs under the database lock. In multi-user mode it starts by
//     reloading TotalPageCount and LastUsedPageNo from the file's header, so changes by other
//     processes are always seen, and the maps and the header are written at once, outside any
//     session's commit. A page allocated by a session that rolls back is given back through
//     InternalRemovePage.
//  2. Map pages are read into page objects of the manager's own, never through the page cache,
//     checked for their type, changed, stored when a byte changed, and dropped. They are never
//     enciphered.
//  5. Held maps. Where no other process can change the file (single-user, writable, not in
//     design-time mode) the map pages and the two header values are kept in memory after their
//     first read, and a change reaches the file only in the next commit, as a page of that
//     commit: journaled with its old image and written in the in-place step, so that after a
//     kill or a power cut the maps land or vanish together with the pages they describe. A
//     failed commit puts the held maps back as they were before it (BeginCommit/EndCommit).
//  3. The search starts at the EAM page covering the end of the file and skips extents marked
//     full. The file grows by the growth step: 6 pages for an empty file, otherwise a tenth of
//     it but at least one extent; it shrinks only by whole growth steps. The last page of a
//     grown file is never a map page.
//  4. After a failure the working copies are still saved into the header and the lock is
//     released, so the header always describes the maps as far as they were written. A
//     failure before the working copies were loaded saves nothing.
//  6. Write order in multi-user mode. The maps are written straight to the file, unflushed, and
//     a power cut may keep any part of what was written since the last flush. Where a write
//     claims something that rests on an earlier one, the earlier one is flushed first: an EAM
//     entry turns full only over PFS bits already on the disk, a PFS bit is cleared only under
//     an EAM entry already no longer full, and the header counts pages only once the file and
//     its new map pages are on the disk (and stops counting them before the file is cut).
//     Any other mix a cut can leave is lost space (pages marked used that no one owns), not
//     damage. Inside a commit the journal covers the maps instead.
//
// Not safe for concurrent use: the caller holds its database's critical section.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "engine/disk/free_space_format.h"

namespace qdx {

class TQDXDiskPageManager;
class TQDXPage;

class TQDXDatabaseFreeSpaceManager {
 public:
  // The geometry comes from the page manager's header image (20237 when it is unusable).
  explicit TQDXDatabaseFreeSpaceManager(TQDXDiskPageManager& pageManager);
  ~TQDXDatabaseFreeSpaceManager();

  // Finds or makes a free page and marks it used. 20231 when the database stays locked.
  int32_t AllocatePage();
  // Marks the page free, recomputes LastUsedPageNo and shrinks the file when its free tail
  // reaches the growth step. 20232 when the database stays locked; 30427 for a free page.
  void FreePage(int32_t pageNo);

  // Refuses what FreePage would refuse, before a commit writes anything: 30430 for a page
  // beyond the file, 30427 for a page already free or named twice. Writes nothing; 20232 when
  // the database stays locked.
  void CheckFreeable(std::span<const int32_t> pageNos);

  bool IsSystemPage(int64_t pageNo) const { return geometry_.IsSystemPage(pageNo); }
  // 30434 "Cannot delete PFS or EAM page. PageNo=%d" for a PFS or EAM page.
  void CheckNotSystemPage(int32_t pageNo) const;
  // The page's PFS bit; false when its PFS page lies after LastUsedPageNo.
  bool IsPageUsed(int32_t pageNo);
  // 6 for an empty file, otherwise the larger of TotalPageCount / 10 and PagesPerExtent.
  int32_t GrowthStep() const;

  // Held maps (design note 5).
  bool HoldsMaps() const { return holdsMaps_; }
  // The held map pages changed since the last commit.
  std::vector<int32_t> ChangedMapPages() const;
  // The working TotalPageCount and LastUsedPageNo into the page manager's header image.
  void PublishCounts();
  // The commit's steps: the held state is remembered, the changed map pages written (after the
  // session's pages, inside the commit), and the remembered state dropped, or put back when the
  // commit failed and its file was rolled back.
  void BeginCommit();
  void WriteChanges();
  void EndCommit(bool committed) noexcept;
  // Drops the held maps and reads the counts again (after the file changed under them).
  void Reload();

  const TQDXFreeSpaceGeometry& Geometry() const { return geometry_; }
  int32_t LastUsedPageNo() const { return lastUsedPageNo_; }
  int32_t TotalPageCount() const { return totalPageCount_; }

  // The local session's transaction flag of the database (kept here for the disk database
  // data and the record manager).
  bool InTransaction = false;

 private:
  // The tests mark pages directly: every public path picks a page its map shows free, so the
  // refusal to mark a used page again (30425) guards against a fault no file can cause.
  friend class TQDXFreeSpaceManagerProbe;
  class MapPage;
  class Operation;

  void LoadWorkingCopies();
  void SaveWorkingCopies();
  int32_t FindFreePage();
  int32_t SearchEamPage(int64_t eamIndex);
  int32_t ExtendFile();
  int64_t NextNonSystemPage(int64_t pageNo) const;
  void WriteNewMapPage(int64_t pageNo, uint16_t pageType);
  // Clears the bits of the pages from `oldTotal` to the end of the last map page that existed
  // before the file grew (`lastOldPfs`). Pages past the end cannot be in use; a growth that
  // marked them and then failed, or died, before its header was written leaves them set.
  void ClearBitsPastEnd(int64_t oldTotal, int64_t lastOldPfs);
  void MarkPage(int32_t pageNo, bool used);
  // Makes the map writes so far durable before one that rests on them (design note 6).
  void OrderWrites();
  // The EAM entry of `extent` from the PFS bits; `pfs` is a PFS page already in memory.
  uint8_t ExtentEntry(int64_t extent, const MapPage* pfs);
  void UpdateExtentEntry(int64_t extent, const MapPage* pfs);
  int32_t HighestUsedPage();
  int64_t LastIndex(int64_t pagesPerMap) const;
  // A map page's content: read from the file into `page`, or the held image (not copied);
  // null when it cannot be read. StoreMap writes one back, or into the held maps.
  const uint8_t* ReadMap(TQDXPage& page);
  void StoreMap(TQDXPage& page);

  struct HeldMap {
    std::unique_ptr<TQDXPage> Page;
    bool Changed = false;
  };
  struct SavedMap {
    std::vector<uint8_t> Image;
    bool Changed = false;
  };

  TQDXDiskPageManager& pageManager_;
  TQDXFreeSpaceGeometry geometry_;
  int32_t lastUsedPageNo_ = -1;
  int32_t totalPageCount_ = 0;
  // The two values as the header on disk holds them since the last load or save. The header
  // image cannot tell: growing the file changes its TotalPageCount before anything is saved.
  int32_t storedLastUsedPageNo_ = -1;
  int32_t storedTotalPageCount_ = 0;
  bool holdsMaps_ = false;
  bool countsLoaded_ = false;
  bool committing_ = false;
  std::map<int32_t, HeldMap> held_;
  // The held state when the running commit began.
  std::map<int32_t, SavedMap> savedMaps_;
  int32_t savedLastUsedPageNo_ = -1;
  int32_t savedTotalPageCount_ = 0;
};

}  // namespace qdx
