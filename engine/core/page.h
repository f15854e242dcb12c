// TQDXPage, one cached or session-held page, and TQDXPageController, the base of page views.
//
// A page owns (or borrows) a buffer of PageSize bytes: the page header (PageHeaderSize bytes of
// its manager, page_format.h) and the data area. The manager that created a page owns it; users
// borrow it between GetPage / AddPage and PutPage (page_manager.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "engine/core/page_format.h"
#include "engine/foundation/memory.h"

namespace qdx {

class TQDXPageManager;
class TQDXSharedPageList;
class TQDXSortedPageList;

// Which of its manager's lists holds a page: the shared list, a session's dirty list, or none
// when the page was dropped from the lists while a user still held it.
enum class TQDXPageList : uint8_t { None, Shared, Dirty };

class TQDXPage {
 public:
  explicit TQDXPage(TQDXPageManager& manager, int32_t pageNo = -1, int32_t sessionID = 0)
      : PageNo(pageNo), SessionID(sessionID), manager_(&manager) {}
  TQDXPage(const TQDXPage&) = delete;
  TQDXPage& operator=(const TQDXPage&) = delete;

  TQDXPageManager& Manager() const { return *manager_; }

  uint8_t* Buffer() const { return buffer_; }
  int64_t BufferSize() const { return bufferSize_; }
  bool OwnsBuffer() const { return ownsBuffer_; }
  int32_t PageSize() const;
  int32_t HeaderSize() const;
  std::span<uint8_t> Header() const { return {buffer_, static_cast<size_t>(HeaderSize())}; }
  uint8_t* Data() const { return buffer_ + HeaderSize(); }
  int32_t DataSize() const { return PageSize() - HeaderSize(); }
  // The data area as a span, for decoding stored layouts with bounds checks.
  std::span<uint8_t> DataArea() const { return {Data(), static_cast<size_t>(DataSize())}; }

  // Header fields. Require a buffer with a page header.
  int32_t PageVersion() const { return page_header::PageVersion(buffer_); }
  void SetPageVersion(int32_t version) { page_header::SetPageVersion(buffer_, version); }
  uint16_t PageType() const { return page_header::PageType(buffer_); }
  void SetPageType(uint16_t type) { page_header::SetPageType(buffer_, type); }
  int32_t NextPageNo() const { return page_header::NextPageNo(buffer_); }
  void SetNextPageNo(int32_t pageNo) { page_header::SetNextPageNo(buffer_, pageNo); }
  int32_t OwnerObjectID() const { return page_header::OwnerObjectID(buffer_); }
  void SetOwnerObjectID(int32_t id) { page_header::SetOwnerObjectID(buffer_, id); }

  // Writes the initial page header ("QDXP", version 0, type 0, no next page, owner -1); nothing
  // for a manager without page headers.
  void InitHeader();
  // A zero-filled owned buffer of PageSize bytes with an initialised header, replacing any.
  void AllocateBuffer();
  void FreeBuffer();
  // Hands over the page's own buffer (an empty block when it borrows one) and leaves the page
  // without a buffer.
  TQDXMemBlock TakeBuffer();
  // Makes `buffer` (at least PageSize bytes) the page's own buffer.
  void SetBuffer(TQDXMemBlock buffer);
  // Uses a buffer the page does not own: it is not freed with the page, and Resize copies it.
  void BorrowBuffer(uint8_t* buffer, int64_t size);
  // Enlarges the buffer to `newSize` bytes keeping its content: 20038 without a buffer, 20039
  // when `newSize` is below PageSize.
  void Resize(int64_t newSize);
  // Brings a shared page up to date with storage when another process may have changed it:
  // only in multi-user mode, by comparing the stored PageVersion with the cached one. Answers
  // false when the page had to be read again and that read failed.
  bool Refresh();

  // The version of this page as a session last validated it (the disk manager's stale check).
  struct SessionVersion {
    int32_t Version = 0;
    bool Present = false;
  };
  SessionVersion GetSessionVersion(int32_t sessionID) const;
  void SetSessionVersion(int32_t sessionID, SessionVersion version);

  int32_t PageNo = -1;
  bool Dirty = false;
  // GetPage / AddPage calls not yet matched by PutPage.
  int32_t UseCount = 0;
  TQDXPageList List = TQDXPageList::None;
  // The session that last obtained the page.
  int32_t SessionID = 0;
  // The buffer was loaded from storage during the current use.
  bool ReadFromDisk = false;
  // The page may be enciphered when written (false for direct-access internal file pages).
  bool Encrypt = true;

 private:
  friend class TQDXPageUseOrder;
  friend class TQDXPageManager;

  // Makes a page its manager destroyed ready for another page number: as a new page, but it
  // keeps its buffer (whose content the next read overwrites) and its vectors' capacity.
  void Reuse(int32_t pageNo, int32_t sessionID);

  TQDXPageManager* manager_;
  // The page's position in its manager's table of the pages it made.
  size_t madeIndex_ = 0;
  // Neighbours in the holding list's order of stamps (least recently used first).
  TQDXPage* olderInList_ = nullptr;
  TQDXPage* newerInList_ = nullptr;
  TQDXMemBlock owned_;
  uint8_t* buffer_ = nullptr;
  int64_t bufferSize_ = 0;
  bool ownsBuffer_ = true;
  // Indexed by SessionID + 2.
  std::vector<SessionVersion> sessionVersions_;
};

// The base of the views that read and change a page's data area (B-tree pages and others).
class TQDXPageController {
 public:
  explicit TQDXPageController(TQDXPage* page = nullptr) : page_(page) {}
  virtual ~TQDXPageController() = default;

  TQDXPage* Page() const { return page_; }
  void SetPage(TQDXPage* page) { page_ = page; }

  int32_t PageNo() const { return page_->PageNo; }
  void SetPageNo(int32_t pageNo) { page_->PageNo = pageNo; }
  int32_t PageSize() const { return page_->PageSize(); }
  bool Dirty() const { return page_->Dirty; }
  void SetDirty(bool dirty) { page_->Dirty = dirty; }
  uint8_t* Data() const { return page_->Data(); }
  int32_t DataSize() const { return page_->DataSize(); }
  void Resize(int64_t newSize) { page_->Resize(newSize); }

 private:
  TQDXPage* page_;
};

}  // namespace qdx
