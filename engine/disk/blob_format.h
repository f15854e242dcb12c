// The stored forms of BLOB values of a disk table: the reference a record holds, the value header,
// the header page of a large value with its page list, and where a large value's bytes go.
//
// A value is kept in its compressed form (the compressed BLOB stream's bytes). A small value is
// one entry of a shared BLOB page (blob_page.h); a large value has pages of its own. A value is
// small when its data length + 24 is below PageDataSize (its entry, the 22-byte header and the
// data, then fits a page beside the page's 2-byte entry count).
//
// BLOB reference, 6 bytes, in the stored record (and at the field's MemoryOffset of a record
// buffer, where a 4-byte cache handle follows it):
//   offset  size  field
//   0       4     page number: 0 or -1 = no stored value
//   4       2     BLOB ID (int16): -1 = large value whose header page is the page number; 0 or
//                 more = the small value with that ID in the shared page; 255 is ambiguous
//
// Value header, 22 bytes:
//   0       2     BLOB ID (int16; small values only, -1 in a large value's header)
//   2       4     uncompressed size (int32)
//   6       8     data length (int64): bytes of the compressed form that follow
//   14      8     stored size (int64), written as two 32-bit halves, low half first
//
// Large value, header page (type 11), data area:
//   0       22    value header
//   22      10    page list reference: first page of the list (int32), offset of the list in
//                 that page's data area (uint16), number of entries (int32)
//   32      ...   the first bytes of the compressed form, to the end of the data area
// The rest of the compressed form fills further type-11 pages from data offset 0. The page list
// is the array of the numbers (int32 each) of all data pages in order, the header page first. It
// starts right behind the last data byte in the last data page, or at offset 0 of a new page when
// that page is exactly full, and runs on from offset 0 of further pages linked by NextPageNo.
// The list is one run of bytes: an entry may be split between two pages.
#pragma once

#include <cstdint>
#include <span>

namespace qdx {

inline constexpr int16_t kLargeBlobID = -1;
// A reference ID that older files use for both kinds; see HasLargeValueShape.
inline constexpr int16_t kAmbiguousBlobID = 255;
inline constexpr int32_t kBlobPageListRefOffset = 22;
inline constexpr int32_t kLargeBlobDataOffset = 32;
inline constexpr int32_t kBlobPageListEntrySize = 4;

struct TQDXBlobRef {
  static constexpr int32_t kSize = 6;

  int32_t PageNo = -1;
  int16_t BlobID = -1;

  bool HasValue() const { return PageNo != 0 && PageNo != -1; }
  bool IsLarge() const { return BlobID == kLargeBlobID; }
  bool IsAmbiguous() const { return BlobID == kAmbiguousBlobID; }

  // 20056 when fewer than 6 bytes are given.
  static TQDXBlobRef Decode(std::span<const uint8_t> bytes);
  void Encode(std::span<uint8_t> bytes) const;
};

struct TQDXBlobValueHeader {
  static constexpr int32_t kSize = 22;

  int16_t BlobID = kLargeBlobID;
  int32_t UncompressedSize = 0;
  int64_t DataLength = 0;
  // A negative value (negative high half) marks a damaged header; readers refuse it.
  int64_t StoredSize = 0;

  static TQDXBlobValueHeader Decode(std::span<const uint8_t> bytes);
  void Encode(std::span<uint8_t> bytes) const;
};

struct TQDXBlobPageListRef {
  static constexpr int32_t kSize = 10;

  int32_t FirstPageNo = -1;
  uint16_t Offset = 0;
  int32_t Count = 0;

  static TQDXBlobPageListRef Decode(std::span<const uint8_t> bytes);
  void Encode(std::span<uint8_t> bytes) const;
};

// True when a value of `dataLength` bytes is stored small: dataLength + 24 < pageDataSize.
constexpr bool IsSmallBlobValue(int64_t dataLength, int32_t pageDataSize) {
  return dataLength + 24 < pageDataSize;
}

// The head of a large value: the value header and the page list reference of its header page.
struct TQDXLargeBlobHead {
  TQDXBlobValueHeader Header;
  TQDXBlobPageListRef List;

  // Over the header page's data area (at least 32 bytes, else 20056).
  static TQDXLargeBlobHead Decode(std::span<const uint8_t> headerPageData);
  void Encode(std::span<uint8_t> headerPageData) const;

  // Checks a head read from a page against the plan for its data length (PlanLargeBlob): the
  // page list must have one entry per data page and start at a page number above 0, inside the
  // data area; 20312 otherwise, so that a damaged head never makes a reader gather bytes from
  // pages the value does not have. (A negative stored size is the reader's 20248.)
  void Check(int32_t pageDataSize) const;
};

// The shape test for a reference with ID 255: whether the page, read as the header page of a
// large value, has a data length greater than PageDataSize * (count - 2) and smaller than
// PageDataSize * count, count being the page list reference's number of entries. `data` is the
// page's data area. Then the value is read as large first, else as small first.
bool HasLargeValueShape(std::span<const uint8_t> data);

// How to read (or delete) the value a reference names: ID -1 as large, any ID but 255 as small;
// 255 both ways, as large first when the page has the shape of a large value's header page,
// else as small first. `pageData` is the named page's data area, looked at only for ID 255.
enum class TQDXBlobReadOrder { Small, Large, LargeThenSmall, SmallThenLarge };
TQDXBlobReadOrder BlobReadOrder(int16_t blobID, std::span<const uint8_t> pageData);

// Where byte `position` of a large value's compressed form is: in data page `PageIndex` (0 = the
// header page) at data offset `Offset`.
struct TQDXBlobDataLocation {
  int32_t PageIndex;
  int32_t Offset;
};
// Requires position >= 0 and pageDataSize >= 32.
TQDXBlobDataLocation LargeBlobDataLocation(int64_t position, int32_t pageDataSize);

// The pages a large value of a given data length takes.
struct TQDXLargeBlobPlan {
  int32_t DataPageCount = 0;     // pages holding the compressed form, the header page first
  int32_t LastPageUsed = 0;      // bytes of the last data page's data area in use, 32 included
                                 // when that is the header page
  bool ListInNewPage = false;    // the last data page is exactly full: the list starts a new page
  int32_t ListOffset = 0;        // data offset of the list in its first page
  int64_t ListSize = 0;          // bytes of the list: 4 * DataPageCount
  int32_t ListPageCount = 0;     // pages holding the list, the last data page included when the
                                 // list starts there
  int32_t NewListPageCount = 0;  // pages to add for the list: ListPageCount without the last
                                 // data page
};
// Fails with 20312 for a negative length, a data area below 32 bytes, or a page count beyond
// the range of int32.
TQDXLargeBlobPlan PlanLargeBlob(int64_t dataLength, int32_t pageDataSize);

// The part of a page list held by list page `index` (0 = the page the list starts in, at
// `startOffset`; later pages from offset 0): where it starts and how many bytes it has, 0 past
// the end of the list. The list runs on as bytes, so an entry may be split between two pages.
struct TQDXBlobListSegment {
  int32_t Offset;
  int32_t Size;
};
TQDXBlobListSegment BlobPageListSegment(int32_t startOffset, int64_t listSize, int32_t index,
                                        int32_t pageDataSize);

}  // namespace qdx
