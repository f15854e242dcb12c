// TQDXInternalDBDirectAccessFile: an internal file of fixed size and fixed pages that is read,
// written and byte-locked straight in the database file, bypassing the page cache. The session
// slot file and the tables' lock slot files are such files; other processes see their bytes
// and locks at once.
//
// Content position p lives in page (p + 10) div PageDataSize of the chain, at byte
// (p + 10) mod PageDataSize + 40 of that page. Byte 0 of the first page (the first byte of its
// page header) is the file's lock byte and is never read: the chain is loaded from the page
// headers without their first byte.
//
// The pages are created through the page cache with Encrypt off (they are never enciphered) and
// reach the file with the next ApplyChanges of the system session.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qdx {

class TQDXDiskPageManager;

class TQDXInternalDBDirectAccessFile {
 public:
  TQDXInternalDBDirectAccessFile(TQDXDiskPageManager& pageManager, uint16_t pageType)
      : pageManager_(pageManager), pageType_(pageType) {}

  int32_t StartPageNo() const { return startPageNo_; }
  bool IsOpen() const { return startPageNo_ != -1; }
  // The bytes that positions may address: the size given at creation, or after Open the
  // content size, or the whole first page's data area when the file has one page.
  int32_t UsableSize() const { return usableSize_; }
  const std::vector<int32_t>& Pages() const { return pages_; }

  // All the pages of a file of `size` bytes, as the system session. 20157 when open.
  void Create(int32_t size);
  // Opens the file at `startPageNo` and loads its chain. 20155 for a page of another type;
  // 20300 when the chain ends, leaves the file or comes back to a page before its size is
  // reached. The file stays closed after a failure.
  void Open(int32_t startPageNo);
  void Close();
  // Frees every page of the chain (from the stored page headers); the file is closed after.
  void Delete(int32_t startPageNo);

  // The content size stored in the first page. 20156 when closed.
  int32_t GetSize();
  // 20159 for a position above the usable size; DirectWriteBuffer: 20158 when the bytes pass
  // the stored size.
  void DirectReadBuffer(void* buffer, int32_t count, int32_t position);
  void DirectWriteBuffer(const void* buffer, int32_t count, int32_t position);

  // The lock byte of the file.
  bool LockFile();
  bool UnlockFile();
  // Byte locks on content positions.
  bool LockByte(int32_t position);
  bool UnlockByte(int32_t position);
  bool IsByteLocked(int32_t position);
  // The `count` positions from `position` locked or unlocked with one lock per page part.
  // Locking is all or nothing: when a part is refused, the parts taken are released and the
  // answer is false. Unlocking takes exactly the parts locked so.
  bool LockRegion(int32_t position, int32_t count);
  bool UnlockRegion(int32_t position, int32_t count);
  // Whether a byte of the `count` positions from `position` is locked; false for count <= 0.
  bool IsRegionLocked(int32_t position, int32_t count);

 private:
  struct Location {
    size_t PageIndex;
    int32_t Offset;  // inside the page, header included
  };
  void RequireOpen(const char* operation) const;
  Location Locate(int32_t position) const;
  // Moves `count` bytes between `buffer` and the content from `position`, page part by page
  // part.
  template <typename Transfer>
  void ForEachPart(int32_t count, int32_t position, Transfer transfer);

  TQDXDiskPageManager& pageManager_;
  uint16_t pageType_;
  int32_t startPageNo_ = -1;
  int32_t usableSize_ = 0;
  std::vector<int32_t> pages_;
};

}  // namespace qdx
