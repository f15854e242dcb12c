// The stored forms of internal files: page chains with a 10-byte file header, the system
// directory and the table list.
//
// An internal file is a chain of pages of one type linked through NextPageNo. The data areas of
// its pages, concatenated in chain order, hold the 10-byte file header and then the content, so
// content byte p sits in chain page (p + 10) div PageDataSize at data offset
// (p + 10) mod PageDataSize.
//
// Transacted file (types 4, 6, 8, 9), at data offset 0 of the first page:
//   offset  size  field
//   0       1     header length, 10
//   1       4     FileRecordSize         content bytes stored in the chain (after compression)
//   5       4     FileUncompressedSize   content size before compression, the size reported
//   9       1     FileCompression        compression algorithm; 0 = stored plain
//
// Direct-access file (types 5, 7), created with all its pages and never enciphered:
//   offset  size  field
//   0       1     header length, 10
//   1       4     file size              fixed at creation
//   5       5     reserved               zero
//
// System directory entry (content of the type 4 file at page 2), 5 bytes:
//   0       1     kind: 1 table list file, 2 session slot file
//   1       4     first page number of that file
//
// Table list entry (content of the type 6 file), 272 bytes, one per table in creation order:
//   0       256   table name: length byte, then up to 255 characters (tail zero when written)
//   256     4     TableID
//   260     4     MetadataStartPage      first page of the metadata file (type 8)
//   264     4     MostUpdatedStartPage   first page of the MostUpdated file (type 9)
//   268     4     LocksStartPage         first page of the lock slot file (type 7)
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qdx {

inline constexpr uint8_t kInternalFileHeaderSize = 10;
inline constexpr int32_t kSystemDirectoryPageNo = 2;
inline constexpr uint8_t kTableListFileKind = 1;
inline constexpr uint8_t kSessionsFileKind = 2;
inline constexpr size_t kSystemDirectoryEntrySize = 5;
inline constexpr size_t kTableListEntrySize = 272;
inline constexpr size_t kMaxTableNameLength = 255;

// Where a content position of an internal file lives in its chain.
struct TQDXChainLocation {
  int64_t PageIndex;   // counted from the chain's first page, 0 based
  int32_t DataOffset;  // in that page's data area
};

// Requires contentPosition >= 0 and pageDataSize > 0.
TQDXChainLocation ChainLocation(int64_t contentPosition, int32_t pageDataSize);
// Pages of a chain holding `contentSize` bytes: ceiling((contentSize + 10) / pageDataSize).
int64_t ChainPageCount(int64_t contentSize, int32_t pageDataSize);

struct TQDXTransactedFileHeader {
  int32_t FileRecordSize = 0;
  int32_t FileUncompressedSize = 0;
  uint8_t FileCompression = 0;

  static TQDXTransactedFileHeader Decode(std::span<const uint8_t> bytes);
  void Encode(std::span<uint8_t> bytes) const;
};

struct TQDXDirectFileHeader {
  int32_t FileSize = 0;

  static TQDXDirectFileHeader Decode(std::span<const uint8_t> bytes);
  void Encode(std::span<uint8_t> bytes) const;
};

struct TQDXSystemDirectoryEntry {
  uint8_t Kind = 0;
  int32_t FirstPageNo = -1;

  static TQDXSystemDirectoryEntry Decode(std::span<const uint8_t> bytes);
  void Encode(std::span<uint8_t> bytes) const;
};

struct TQDXTableListEntry {
  std::string TableName;
  int32_t TableID = 0;
  int32_t MetadataStartPage = -1;
  int32_t MostUpdatedStartPage = -1;
  int32_t LocksStartPage = -1;

  static TQDXTableListEntry Decode(std::span<const uint8_t> bytes);
  // A name longer than 255 characters fails with 20056 "Buffer size exceeded".
  void Encode(std::span<uint8_t> bytes) const;
};

}  // namespace qdx
