#include "engine/disk/free_space_manager.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/core/page.h"
#include "engine/core/page_format.h"
#include "engine/disk/database_file.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"

namespace qdx {

// A PFS or EAM page read from the file, or a view of a held one that is copied on its first
// change (design notes 2, 5).
class TQDXDatabaseFreeSpaceManager::MapPage {
 public:
  MapPage(TQDXDatabaseFreeSpaceManager& manager, int64_t pageNo)
      : manager_(manager), page_(manager.pageManager_, static_cast<int32_t>(pageNo)) {}

  // Reads the page; `wrongType` when it is not of `pageType`.
  void Read(uint16_t pageType, const msg::Message& wrongType) {
    view_ = manager_.ReadMap(page_);
    if (view_ == nullptr) Raise(msg::kErrorReadingPage, {page_.PageNo, pageType});
    if (page_header::PageType(view_) != pageType) {
      Raise(wrongType, {PageTypeName(page_header::PageType(view_)), PageTypeName(pageType)});
    }
  }
  // A new map page: first data byte 1 (the page's own bit, or the first extent's entry).
  void InitNew(uint16_t pageType) {
    page_.AllocateBuffer();
    page_.SetPageType(pageType);
    page_.Data()[0] = 1;
    view_ = page_.Buffer();
    changed_ = true;
  }
  void WriteIfChanged() {
    if (changed_) manager_.StoreMap(page_);
    changed_ = false;
  }
  bool Changed() const { return changed_; }

  int32_t PageNo() const { return page_.PageNo; }
  const uint8_t* Data() const { return view_ + manager_.pageManager_.PageHeaderSize(); }
  int32_t DataSize() const { return manager_.pageManager_.PageDataSize(); }
  uint8_t Field(const TQDXMapSlot& slot, uint8_t mask) const {
    return static_cast<uint8_t>((Data()[slot.ByteOffset] >> slot.Shift) & mask);
  }
  void SetField(const TQDXMapSlot& slot, uint8_t mask, uint8_t value) {
    const uint8_t byte = Data()[slot.ByteOffset];
    const auto updated =
        static_cast<uint8_t>((byte & ~(mask << slot.Shift)) | ((value & mask) << slot.Shift));
    if (updated == byte) return;
    OwnCopy();
    page_.Data()[slot.ByteOffset] = updated;
    changed_ = true;
  }

 private:
  // A held page is changed in a copy, which StoreMap puts back.
  void OwnCopy() {
    if (page_.Buffer() != nullptr && view_ == page_.Buffer()) return;
    if (page_.Buffer() == nullptr) page_.AllocateBuffer();
    std::memcpy(page_.Buffer(), view_, static_cast<size_t>(manager_.pageManager_.PageSize()));
    view_ = page_.Buffer();
  }

  TQDXDatabaseFreeSpaceManager& manager_;
  TQDXPage page_;
  const uint8_t* view_ = nullptr;
  bool changed_ = false;
};

// One allocation or release: the database lock and the working copies (design notes 1, 4).
// The maps are saved when the operation finishes; on an exception path they are saved as far
// as they can be, and the lock is given back either way.
class TQDXDatabaseFreeSpaceManager::Operation {
 public:
  Operation(TQDXDatabaseFreeSpaceManager& manager, const msg::Message& locked)
      : manager_(manager),
        lock_(manager.pageManager_.LockBytes(), TQDXDatabaseLockGuard::Wait::WithRetry) {
    if (!lock_.Held()) Raise(locked);
    manager_.LoadWorkingCopies();
    loaded_ = true;
  }
  ~Operation() {
    if (finished_ || !loaded_) return;
    try {
      manager_.SaveWorkingCopies();
    } catch (...) {  // the failure being reported matters more than this one
    }
  }
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  void Finish() {
    finished_ = true;
    manager_.SaveWorkingCopies();
  }

 private:
  TQDXDatabaseFreeSpaceManager& manager_;
  TQDXDatabaseLockGuard lock_;
  bool loaded_ = false;
  bool finished_ = false;
};

namespace {

constexpr uint8_t kBitMask = 1;
constexpr uint8_t kEntryMask = 3;
constexpr uint8_t kEntryFullBit = 2;
constexpr int32_t kFirstGrowthStep = 6;

}  // namespace

TQDXDatabaseFreeSpaceManager::TQDXDatabaseFreeSpaceManager(TQDXDiskPageManager& pageManager)
    : pageManager_(pageManager),
      geometry_(pageManager.Header().PageSize, pageManager.Header().PagesPerExtent),
      lastUsedPageNo_(pageManager.Header().LastUsedPageNo),
      totalPageCount_(pageManager.Header().TotalPageCount),
      holdsMaps_(!pageManager.MultiUser && !pageManager.ReadOnly() && !QDXDesignTimeMode()) {}

TQDXDatabaseFreeSpaceManager::~TQDXDatabaseFreeSpaceManager() = default;

// --- Held maps -------------------------------------------------------------------------------

const uint8_t* TQDXDatabaseFreeSpaceManager::ReadMap(TQDXPage& page) {
  if (!holdsMaps_) return pageManager_.InternalReadPage(page) ? page.Buffer() : nullptr;
  auto found = held_.find(page.PageNo);
  if (found == held_.end()) {
    auto read = std::make_unique<TQDXPage>(pageManager_, page.PageNo);
    if (!pageManager_.InternalReadPage(*read)) return nullptr;
    found = held_.emplace(page.PageNo, HeldMap{std::move(read), false}).first;
  }
  return found->second.Page->Buffer();
}

void TQDXDatabaseFreeSpaceManager::StoreMap(TQDXPage& page) {
  if (!holdsMaps_) {
    pageManager_.InternalWritePage(page);
    return;
  }
  auto found = held_.find(page.PageNo);
  if (found == held_.end()) {
    // A new map page: made whole before the held maps know it.
    auto made = std::make_unique<TQDXPage>(pageManager_, page.PageNo);
    made->AllocateBuffer();
    found = held_.emplace(page.PageNo, HeldMap{std::move(made), false}).first;
  }
  std::memcpy(found->second.Page->Buffer(), page.Buffer(),
              static_cast<size_t>(pageManager_.PageSize()));
  found->second.Changed = true;
}

std::vector<int32_t> TQDXDatabaseFreeSpaceManager::ChangedMapPages() const {
  std::vector<int32_t> pageNos;
  for (const auto& [pageNo, held] : held_) {
    if (held.Changed) pageNos.push_back(pageNo);
  }
  return pageNos;
}

void TQDXDatabaseFreeSpaceManager::PublishCounts() {
  if (!holdsMaps_ || !countsLoaded_) return;
  pageManager_.Header().LastUsedPageNo = lastUsedPageNo_;
  pageManager_.Header().TotalPageCount = totalPageCount_;
}

void TQDXDatabaseFreeSpaceManager::BeginCommit() {
  if (holdsMaps_) {
    // Built aside and then taken over: running out of memory here leaves nothing half done.
    std::map<int32_t, SavedMap> saved;
    const auto size = static_cast<size_t>(pageManager_.PageSize());
    for (const auto& [pageNo, held] : held_) {
      const uint8_t* image = held.Page->Buffer();
      saved.emplace(pageNo, SavedMap{{image, image + size}, held.Changed});
    }
    savedMaps_.swap(saved);
    savedLastUsedPageNo_ = lastUsedPageNo_;
    savedTotalPageCount_ = totalPageCount_;
  }
  committing_ = true;
}

void TQDXDatabaseFreeSpaceManager::WriteChanges() {
  if (!holdsMaps_) return;
  pageManager_.CoverPages(totalPageCount_);
  for (auto it = held_.begin(); it != held_.end();) {
    // A map page the commit's release cut off the file is not written back past its end.
    if (it->first >= totalPageCount_) {
      it = held_.erase(it);
      continue;
    }
    if (it->second.Changed) {
      pageManager_.InternalWritePage(*it->second.Page);
      it->second.Changed = false;
    }
    ++it;
  }
  PublishCounts();
}

void TQDXDatabaseFreeSpaceManager::EndCommit(bool committed) noexcept {
  committing_ = false;
  if (!holdsMaps_) return;
  std::map<int32_t, SavedMap> saved;
  saved.swap(savedMaps_);
  if (committed) {
    storedLastUsedPageNo_ = lastUsedPageNo_;
    storedTotalPageCount_ = totalPageCount_;
    return;
  }
  // The file was rolled back to its state before the commit: so are the held maps, with the
  // changes still waiting for a commit. A map first read during the commit is read again.
  for (auto it = held_.begin(); it != held_.end();) {
    const auto found = saved.find(it->first);
    if (found == saved.end()) {
      it = held_.erase(it);
      continue;
    }
    std::memcpy(it->second.Page->Buffer(), found->second.Image.data(), found->second.Image.size());
    it->second.Changed = found->second.Changed;
    ++it;
  }
  lastUsedPageNo_ = savedLastUsedPageNo_;
  totalPageCount_ = savedTotalPageCount_;
  PublishCounts();
}

void TQDXDatabaseFreeSpaceManager::Reload() {
  held_.clear();
  savedMaps_.clear();
  countsLoaded_ = false;
}

void TQDXDatabaseFreeSpaceManager::CheckNotSystemPage(int32_t pageNo) const {
  if (IsSystemPage(pageNo)) Raise(msg::kCannotDeleteMapPage, {pageNo});
}

int32_t TQDXDatabaseFreeSpaceManager::GrowthStep() const {
  if (totalPageCount_ == 0) return kFirstGrowthStep;
  return std::max(totalPageCount_ / 10, geometry_.PagesPerExtent());
}

int64_t TQDXDatabaseFreeSpaceManager::LastIndex(int64_t pagesPerMap) const {
  return std::max(totalPageCount_ - 1, 0) / pagesPerMap;
}

void TQDXDatabaseFreeSpaceManager::LoadWorkingCopies() {
  if (countsLoaded_) {
    // The header image may have been read again since: it gets the working values back.
    PublishCounts();
    return;
  }
  pageManager_.ReadHeader();
  // Maps left by a commit cut off elsewhere are rolled back before they are used.
  pageManager_.RollBackInterruptedCommit();
  lastUsedPageNo_ = storedLastUsedPageNo_ = pageManager_.Header().LastUsedPageNo;
  totalPageCount_ = storedTotalPageCount_ = pageManager_.Header().TotalPageCount;
  countsLoaded_ = holdsMaps_;
}

void TQDXDatabaseFreeSpaceManager::SaveWorkingCopies() {
  // Held values reach the header in the next commit.
  if (holdsMaps_) {
    PublishCounts();
    return;
  }
  if (storedLastUsedPageNo_ == lastUsedPageNo_ && storedTotalPageCount_ == totalPageCount_) return;
  // A grown file is counted only once its size and its new map pages are on the disk.
  if (totalPageCount_ > storedTotalPageCount_) OrderWrites();
  TQDXDatabaseHeader& header = pageManager_.Header();
  header.LastUsedPageNo = lastUsedPageNo_;
  header.TotalPageCount = totalPageCount_;
  pageManager_.WriteHeader(/*checkExternalChange=*/true);
  storedLastUsedPageNo_ = lastUsedPageNo_;
  storedTotalPageCount_ = totalPageCount_;
}

int32_t TQDXDatabaseFreeSpaceManager::AllocatePage() {
  Operation operation(*this, msg::kDatabaseLockedForAllocate);
  int32_t pageNo = FindFreePage();
  if (pageNo < 0) pageNo = ExtendFile();
  lastUsedPageNo_ = std::max(lastUsedPageNo_, pageNo);
  operation.Finish();
  return pageNo;
}

void TQDXDatabaseFreeSpaceManager::FreePage(int32_t pageNo) {
  Operation operation(*this, msg::kDatabaseLockedForFree);
  MarkPage(pageNo, /*used=*/false);
  lastUsedPageNo_ = HighestUsedPage();
  const int32_t step = GrowthStep();
  const int32_t freeTail = totalPageCount_ - lastUsedPageNo_ - 1;
  // Held maps shrink the file only inside a commit, where the header write is journaled.
  if (freeTail >= step && (!holdsMaps_ || committing_)) {
    // The shrink writes the header: with the old LastUsedPageNo it would name a page past the
    // new end until the save below, which a power cut in between could keep.
    pageManager_.Header().LastUsedPageNo = lastUsedPageNo_;
    pageManager_.ShrinkFile(freeTail / step * step);
    totalPageCount_ = pageManager_.Header().TotalPageCount;
    // The shrink wrote the header image.
    storedTotalPageCount_ = totalPageCount_;
    storedLastUsedPageNo_ = pageManager_.Header().LastUsedPageNo;
  }
  operation.Finish();
}

void TQDXDatabaseFreeSpaceManager::CheckFreeable(std::span<const int32_t> pageNos) {
  if (pageNos.empty()) return;
  Operation operation(*this, msg::kDatabaseLockedForFree);
  std::vector<int32_t> sorted(pageNos.begin(), pageNos.end());
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 0; i < sorted.size(); ++i) {
    const int32_t pageNo = sorted[i];
    if (pageNo < 0 || pageNo >= totalPageCount_) {
      Raise(msg::kPageBeyondFile, {pageNo, totalPageCount_});
    }
    CheckNotSystemPage(pageNo);
    if ((i > 0 && sorted[i - 1] == pageNo) || !IsPageUsed(pageNo)) {
      Raise(msg::kPageAlreadyFree, {pageNo});
    }
  }
  operation.Finish();
}

int32_t TQDXDatabaseFreeSpaceManager::FindFreePage() {
  if (lastUsedPageNo_ == -1) return -1;
  const int64_t lastEam = LastIndex(geometry_.PagesPerEamPage());
  int32_t pageNo = SearchEamPage(lastEam);
  for (int64_t k = 0; pageNo < 0 && k < lastEam; ++k) pageNo = SearchEamPage(k);
  if (pageNo >= 0) MarkPage(pageNo, /*used=*/true);
  return pageNo;
}

int32_t TQDXDatabaseFreeSpaceManager::SearchEamPage(int64_t eamIndex) {
  MapPage eam(*this, geometry_.EamPageNo(eamIndex));
  eam.Read(ptEAM, msg::kSearchMapPageType);
  // Only the first extent that may have a free page is looked at.
  const uint8_t* entryBytes = eam.Data();
  const int32_t entryByteCount = eam.DataSize();
  int64_t extent = -1;
  for (int32_t byte = 0; byte < entryByteCount && extent < 0; ++byte) {
    const uint8_t entries = entryBytes[byte];
    if (entries == 0xFF) continue;
    for (int entry = 0; entry < 4; ++entry) {
      if (((entries >> (2 * entry)) & kEntryFullBit) == 0) {
        extent = eamIndex * geometry_.ExtentsPerEamPage() + int64_t{byte} * 4 + entry;
        break;
      }
    }
  }
  if (extent < 0) return -1;

  const int64_t pagesPerPfs = geometry_.PagesPerPfsPage();
  const int64_t first = extent * geometry_.PagesPerExtent() / pagesPerPfs;
  int64_t last = ((extent + 1) * geometry_.PagesPerExtent() - 1) / pagesPerPfs;
  if (geometry_.PfsPageNo(first) >= totalPageCount_) return -1;
  while (geometry_.PfsPageNo(last) >= totalPageCount_) --last;
  int64_t candidate = -1;
  for (int64_t k = first; k <= last; ++k) {
    MapPage pfs(*this, geometry_.PfsPageNo(k));
    pfs.Read(ptPFS, msg::kSearchMapPageType);
    const uint8_t* bitBytes = pfs.Data();
    const int32_t bitByteCount = pfs.DataSize();
    for (int32_t byte = 0; byte < bitByteCount; ++byte) {
      const uint8_t bits = bitBytes[byte];
      if (bits == 0xFF) continue;
      int bit = 0;
      while ((bits >> bit) & kBitMask) ++bit;
      candidate = geometry_.PfsPageNo(k) + int64_t{byte} * 8 + bit;
      break;
    }
  }
  return candidate >= 0 && candidate < totalPageCount_ ? static_cast<int32_t>(candidate) : -1;
}

int64_t TQDXDatabaseFreeSpaceManager::NextNonSystemPage(int64_t pageNo) const {
  while (IsSystemPage(pageNo)) ++pageNo;
  return pageNo;
}

void TQDXDatabaseFreeSpaceManager::WriteNewMapPage(int64_t pageNo, uint16_t pageType) {
  MapPage page(*this, pageNo);
  page.InitNew(pageType);
  page.WriteIfChanged();
}

int32_t TQDXDatabaseFreeSpaceManager::ExtendFile() {
  const int64_t pagesPerPfs = geometry_.PagesPerPfsPage();
  const int64_t pagesPerEam = geometry_.PagesPerEamPage();
  int64_t lastPfs = -1;
  int64_t lastEam = -1;
  if (lastUsedPageNo_ != -1) {
    lastPfs = LastIndex(pagesPerPfs);
    lastEam = LastIndex(pagesPerEam);
  }
  int64_t pageNo = NextNonSystemPage(int64_t{lastUsedPageNo_} + 1);
  int64_t step = GrowthStep();
  if (pageNo >= totalPageCount_ + step) step = pageNo - totalPageCount_ + 1;
  while (IsSystemPage(totalPageCount_ + step - 1)) ++step;
  if (totalPageCount_ + step > std::numeric_limits<int32_t>::max()) {
    Raise(msg::kPageBeyondFile, {pageNo, totalPageCount_});
  }
  const int64_t oldTotal = totalPageCount_;
  pageManager_.GrowFile(static_cast<int32_t>(step));
  totalPageCount_ = pageManager_.Header().TotalPageCount;
  if (lastPfs >= 0) ClearBitsPastEnd(oldTotal, lastPfs);

  const int64_t newLastPfs = LastIndex(pagesPerPfs);
  const int64_t newLastEam = LastIndex(pagesPerEam);
  for (int64_t k = lastPfs + 1; k <= newLastPfs; ++k) {
    WriteNewMapPage(geometry_.PfsPageNo(k), ptPFS);
  }
  for (int64_t k = lastEam + 1; k <= newLastEam; ++k) {
    WriteNewMapPage(geometry_.EamPageNo(k), ptEAM);
  }
  pageNo = NextNonSystemPage(int64_t{lastUsedPageNo_} + 1);
  // Pages after LastUsedPageNo are free unless an allocation failed, or died, after marking its
  // page and before writing the header; such a page is lost until a repair and skipped here.
  while (pageNo < oldTotal && IsPageUsed(static_cast<int32_t>(pageNo))) {
    pageNo = NextNonSystemPage(pageNo + 1);
  }
  for (int64_t k = lastEam + 1; k <= newLastEam; ++k) {
    MarkPage(static_cast<int32_t>(geometry_.EamPageNo(k)), /*used=*/true);
  }
  for (int64_t k = lastPfs + 1; k <= newLastPfs; ++k) {
    UpdateExtentEntry(geometry_.ExtentOf(geometry_.PfsPageNo(k)), nullptr);
  }
  MarkPage(static_cast<int32_t>(pageNo), /*used=*/true);
  return static_cast<int32_t>(pageNo);
}

void TQDXDatabaseFreeSpaceManager::ClearBitsPastEnd(int64_t oldTotal, int64_t lastOldPfs) {
  const int64_t end = std::min<int64_t>(
      totalPageCount_, geometry_.PfsPageNo(lastOldPfs) + geometry_.PagesPerPfsPage());
  if (oldTotal >= end) return;
  MapPage pfs(*this, geometry_.PfsSlot(oldTotal).MapPageNo);
  pfs.Read(ptPFS, msg::kMarkPagePfsType);
  for (int64_t n = oldTotal; n < end; ++n) {
    if (!IsSystemPage(n)) pfs.SetField(geometry_.PfsSlot(n), kBitMask, 0);
  }
  if (!pfs.Changed()) return;
  pfs.WriteIfChanged();
  for (int64_t e = geometry_.ExtentOf(oldTotal); e <= geometry_.ExtentOf(end - 1); ++e) {
    UpdateExtentEntry(e, &pfs);
  }
}

void TQDXDatabaseFreeSpaceManager::MarkPage(int32_t pageNo, bool used) {
  if (pageNo < 0 || pageNo >= totalPageCount_) {
    Raise(msg::kPageBeyondFile, {pageNo, totalPageCount_});
  }
  const TQDXMapSlot slot = geometry_.PfsSlot(pageNo);
  MapPage pfs(*this, slot.MapPageNo);
  pfs.Read(ptPFS, msg::kMarkPagePfsType);
  const bool isUsed = pfs.Field(slot, kBitMask) != 0;
  if (used && isUsed) Raise(msg::kPageAlreadyUsed, {pageNo});
  if (!used && !isUsed) Raise(msg::kPageAlreadyFree, {pageNo});
  // Raised before the bit is written, so that a failure after it still saves a LastUsedPageNo
  // that covers the page: growth hands out the pages after LastUsedPageNo as free.
  if (used && !IsSystemPage(pageNo)) lastUsedPageNo_ = std::max(lastUsedPageNo_, pageNo);
  pfs.SetField(slot, kBitMask, used ? 1 : 0);
  // Every read (and every allocation) comes before the first write, so that running out of
  // memory or meeting a damaged map page cannot leave the PFS and EAM pages disagreeing.
  const int64_t extent = geometry_.ExtentOf(pageNo);
  const TQDXMapSlot eamSlot = geometry_.EamSlot(extent);
  MapPage eam(*this, eamSlot.MapPageNo);
  eam.Read(ptEAM, msg::kUpdateExtentEamType);
  const bool wasFull = eam.Field(eamSlot, kEntryMask) == kEamExtentFull;
  const uint8_t entry = ExtentEntry(extent, &pfs);
  eam.SetField(eamSlot, kEntryMask, entry);
  // An extent marked full over a page that is free would hide that page from every search and
  // fail the file's checks: the entry never claims more than the PFS bits on the disk.
  if (wasFull && entry != kEamExtentFull) {
    eam.WriteIfChanged();
    OrderWrites();
    pfs.WriteIfChanged();
    return;
  }
  pfs.WriteIfChanged();
  if (!wasFull && entry == kEamExtentFull) OrderWrites();
  eam.WriteIfChanged();
}

void TQDXDatabaseFreeSpaceManager::OrderWrites() {
  if (holdsMaps_ || committing_) return;
  pageManager_.FlushFile();
}

void TQDXDatabaseFreeSpaceManager::UpdateExtentEntry(int64_t extent, const MapPage* pfs) {
  const TQDXMapSlot slot = geometry_.EamSlot(extent);
  MapPage eam(*this, slot.MapPageNo);
  eam.Read(ptEAM, msg::kUpdateExtentEamType);
  eam.SetField(slot, kEntryMask, ExtentEntry(extent, pfs));
  eam.WriteIfChanged();
}

uint8_t TQDXDatabaseFreeSpaceManager::ExtentEntry(int64_t extent, const MapPage* pfs) {
  bool seenUsed = false;
  bool seenFree = false;
  const int64_t first = extent * geometry_.PagesPerExtent();
  for (int64_t n = first; n < first + geometry_.PagesPerExtent() && !(seenUsed && seenFree); ++n) {
    bool used;
    const TQDXMapSlot slot = geometry_.PfsSlot(n);
    // The PFS page just changed is still in memory; any other is read as IsPageUsed reads it.
    if (pfs != nullptr && slot.MapPageNo == pfs->PageNo() && slot.MapPageNo <= lastUsedPageNo_) {
      used = pfs->Field(slot, kBitMask) != 0;
    } else {
      used = IsPageUsed(static_cast<int32_t>(n));
    }
    (used ? seenUsed : seenFree) = true;
  }
  if (seenUsed && !seenFree) return kEamExtentFull;
  return seenUsed || seenFree ? kEamExtentHasFree : kEamExtentUnknown;
}

bool TQDXDatabaseFreeSpaceManager::IsPageUsed(int32_t pageNo) {
  const TQDXMapSlot slot = geometry_.PfsSlot(pageNo);
  if (slot.MapPageNo > lastUsedPageNo_) return false;
  MapPage pfs(*this, slot.MapPageNo);
  pfs.Read(ptPFS, msg::kIsPageUsedPfsType);
  return pfs.Field(slot, kBitMask) != 0;
}

int32_t TQDXDatabaseFreeSpaceManager::HighestUsedPage() {
  for (int64_t k = LastIndex(geometry_.PagesPerPfsPage()); k >= 0; --k) {
    MapPage pfs(*this, geometry_.PfsPageNo(k));
    pfs.Read(ptPFS, msg::kHighestUsedPfsType);
    const uint8_t* data = pfs.Data();
    int32_t byte = pfs.DataSize() - 1;
    // Runs on every release; the tail of the last PFS page is mostly clear, so it is skipped
    // eight bytes at a time.
    while (byte >= 7 && le::Load<uint64_t>(data + byte - 7) == 0) byte -= 8;
    for (; byte >= 0; --byte) {
      const uint8_t bits = data[byte];
      if (bits == 0) continue;
      for (int bit = 7; bit >= 0; --bit) {
        if (((bits >> bit) & kBitMask) == 0) continue;
        const int64_t pageNo = geometry_.PfsPageNo(k) + int64_t{byte} * 8 + bit;
        if (!IsSystemPage(pageNo)) return static_cast<int32_t>(pageNo);
      }
    }
  }
  return -1;
}

}  // namespace qdx
